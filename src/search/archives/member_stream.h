#pragma once

#include "search/archives/archive_walk.h"

#include <QByteArray>

#include <utility>

namespace archives {

class MemberReader;

// The bytes of one member, from its first, in blocks. A member found damaged or encrypted part
// way, or a walk stopped, ends the bytes early; failure() then says why.
class MemberStream final : public MemberBytes
{
public:
    // A member held in memory.
    explicit MemberStream(QByteArray bytes);
    // A member read from `level`, whose first bytes `head` were read already. With `replay`,
    // the bytes read are kept up to kReplayCap so that rewind() can start again.
    MemberStream(MemberReader &level, QByteArray head, bool replay);
    ~MemberStream();
    MemberStream(const MemberStream &) = delete;
    MemberStream &operator=(const MemberStream &) = delete;

    static constexpr qsizetype kReplayCap = 16 << 20;

    qint64 readInto(QByteArray &buffer, qsizetype size) override;
    bool rewind() override;
    bool atEnd() const override { return m_at >= m_held.size() && (m_ended || !m_level); }
    bool canRewind() const override { return m_replay; }
    Failure failure() const { return m_failure; }
    // The member's size as the archive declares it, -1 when it does not.
    qint64 size() const { return m_size; }
    // True for a member held whole in memory, whose bytes takeHeld() then gives up.
    bool heldWhole() const { return !m_level; }
    QByteArray takeHeld() { return std::exchange(m_held, QByteArray()); }

private:
    MemberReader *m_level = nullptr;
    QByteArray m_held; // the member in memory, or the head, or what was read (replay)
    qsizetype m_at = 0;
    bool m_replay = false;
    bool m_ended = false;
    Failure m_failure = Failure::None;
    qint64 m_size = -1;
};

} // namespace archives
