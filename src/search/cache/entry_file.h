#pragma once

#include "platform/core/file_ops.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace textcache {

// One cache entry as bytes, written whole by encode() and read back in two steps: the head, which
// a search may stop at, then the text.
//
// The layout: the magic; the key's size and the key; the outcome, the text's length in characters
// and the summary's size (as the log2 of its bits); the summary (TextSummary); a checksum of all
// of these (the head); the text as a zstd frame with its content size and checksum. Every part is
// checked as it is read: an entry cut short, altered, of another layout or of another key (a hash
// collision of names) is Damaged, and is never served.
class EntryFile
{
public:
    // Texts longer than this are not kept (a multi-thousand-page document is re-extracted).
    static constexpr qsizetype kMaxTextChars = qsizetype(32) << 20;
    // What a read found: the part asked for is whole and checked; the file is not an entry of the
    // key (or not whole); the system could not read it (the file is left alone).
    enum class Verdict { Sound, Damaged, Unreadable };

    struct Head
    {
        quint8 outcome = 0;
        quint64 characters = 0; // the text's length in code units
        QByteArrayView summary; // the TextSummary bitmap, in the buffer the entry was read into
    };

    // The entry of `key`: the text's outcome, the text and its summary; empty when the text cannot
    // be compressed.
    static QByteArray encode(QByteArrayView key, quint8 outcome, QStringView text,
                             QByteArrayView summary);

    // The entry file at `path`, read into `buffer` (reused from entry to entry: reading a head
    // allocates nothing once the buffer is as large as a head). The head stays in the buffer
    // until it is read into again.
    EntryFile(const QByteArray &path, QByteArray &buffer);

    // False when there is no such file (or it cannot be opened).
    bool isOpen() const { return m_file.isOpen(); }
    // Reads the head and checks it against `key`; head() is valid when it is Sound.
    Verdict readHead(QByteArrayView key);
    const Head &head() const { return m_head; }
    // Reads and decompresses the text after a Sound head.
    Verdict readText(QString &text);
    // Sets the file's modification time, which eviction goes by.
    void markUsed() const { m_file.touch(); }

private:
    struct Layout
    {
        Head head;
        qsizetype summaryAt = 0;
        qsizetype headSize = 0; // up to and with the head's checksum
    };

    // The layout told by the first bytes of an entry; nothing when they cannot start an entry
    // of `key`.
    static std::optional<Layout> layoutOf(QByteArrayView start, QByteArrayView key);
    Verdict readRestOfHead(qsizetype headSize, qsizetype asked);
    Verdict readFrame(QByteArray &frame);

    platform::ReadOnlyFile m_file;
    QByteArray &m_buffer;
    qsizetype m_got = 0; // the bytes of the file at the start of m_buffer
    qsizetype m_headSize = 0;
    Head m_head;
};

} // namespace textcache
