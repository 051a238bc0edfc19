#pragma once

#include "search/archives/archive_walk.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

struct archive;
namespace platform {
class ChunkReader;
}
struct archive_entry;

namespace archives {

class ArchiveBudget;

// The members of one archive, entry by entry, as a walk reads them.
class MemberReader
{
public:
    virtual ~MemberReader() = default;

    enum class Next { Member, End, Failed };
    // Moves to the next entry that is a regular file (folders and links have no bytes to
    // search, but count in the index). Failed: the archive cannot be read on (failure() says
    // why, stopped() when the walk was stopped).
    virtual Next next() = 0;
    // The current entry's index among all entries, its decoded path and its declared size.
    virtual int index() const = 0;
    virtual const QString &memberPath() const = 0;
    virtual qint64 memberSize() const = 0;
    virtual bool memberEncrypted() const = 0;
    // Reads the current member's bytes: how many, 0 at its end, -1 on a failure (memberFailure()
    // says why) or a stop.
    virtual qint64 readData(char *data, qsizetype size) = 0;
    virtual Failure memberFailure() const = 0;
    virtual Failure failure() const = 0;
    virtual bool stopped() const = 0;
};

// One archive open in libarchive, read as a stream from a source of blocks (a file, bytes in
// memory, or a member of the archive around it), with the checks every reader of members needs:
// a decompression bomb ends the member, a stop asked for by `keepGoing` ends the reading, and
// an archive budget, when one is set, is charged with what the level inflates and the time
// libarchive takes for it; once the budget is spent the level ends (its member failing Damaged).
class Level : public MemberReader
{
public:
    // Gives the next bytes of the archive: appends up to `size` bytes to `buffer`, returns how
    // many, 0 at the end, -1 on a failure.
    using ReadBlock = std::function<qint64(QByteArray &buffer, qsizetype size)>;

    // `prefix`: the archive's first bytes, read already; the rest comes from `more`. `name`: the
    // archive's own name, whose member is named after it when the archive is a single
    // compressed file.
    Level(QByteArray prefix, ReadBlock more, QString name, std::function<bool()> keepGoing);
    // An archive held whole in memory.
    static std::unique_ptr<Level> inMemory(QByteArray bytes, QString name,
                                           std::function<bool()> keepGoing);
    // An archive file whose first bytes `head` were read from `file` already.
    static std::unique_ptr<Level> inFile(platform::ChunkReader &file, QByteArray head, QString name,
                                         std::function<bool()> keepGoing);
    ~Level() override;
    Level(const Level &) = delete;
    Level &operator=(const Level &) = delete;

    // Shares `budget` (which outlives the level) with the other levels of the same archive.
    void setBudget(ArchiveBudget *budget) { m_budget = budget; }

    Next next() override;
    int index() const override { return m_index; }
    const QString &memberPath() const override { return m_path; }
    qint64 memberSize() const override { return m_size; }
    bool memberEncrypted() const override;
    qint64 readData(char *data, qsizetype size) override;
    Failure memberFailure() const override { return m_memberFailure; }
    Failure failure() const override { return m_failure; }
    bool stopped() const override { return m_stopped; }
    // True when nothing more can be read from this archive (a fatal error in a member), or when
    // what follows a damaged member can only be reached by inflating it (one compressed stream).
    bool ended() const { return m_ended; }

private:
    using Clock = std::chrono::steady_clock;

    Next nextEntry();
    // Before a call into libarchive: the start of the work the budget is charged with.
    Clock::time_point startWork();
    // After it: charges the budget with what was inflated since the last charge and the time
    // since `start`, less the time spent waiting for the archive's bytes. False once it is spent.
    bool chargeWork(Clock::time_point start);
    static long readCallback(struct archive *, void *self, const void **buffer);
    static std::int64_t seekCallback(struct archive *, void *self, std::int64_t offset, int whence);
    qint64 seek(qint64 offset, int whence);
    long readMore(const void **buffer);
    bool openArchive();
    void readZipDirectory();

    QByteArray m_prefix;
    ReadBlock m_more;
    QString m_name;
    std::function<bool()> m_keepGoing;
    struct archive *m_archive = nullptr;
    QByteArray m_block;
    // Where the archive can be read from anywhere (a 7z's index is at its end): the bytes held
    // whole, or the file with its size.
    bool m_memory = false;
    QByteArray m_bytes;
    platform::ChunkReader *m_file = nullptr;
    qint64 m_fileSize = -1;
    qint64 m_position = 0;
    bool m_opened = false;
    bool m_stopped = false;
    bool m_ended = false;
    bool m_bomb = false;
    Failure m_failure = Failure::None;
    // The local header offsets of a ZIP's entries whose bytes overlap another entry's.
    QSet<qint64> m_overlapping;
    ArchiveBudget *m_budget = nullptr;
    // Within one call into libarchive: the time its reads of the archive's bytes took (the disk,
    // the level around this one, a poll that lets the user interface run).
    Clock::duration m_waited{};
    qint64 m_dataOut = 0; // the bytes of every member handed out so far
    qint64 m_charged = 0; // the bytes the budget was charged with so far

    struct archive_entry *m_entry = nullptr;
    int m_index = -1;
    QString m_path;
    qint64 m_size = -1;
    qint64 m_memberOut = 0;
    qint64 m_memberStartIn = 0;
    Failure m_memberFailure = Failure::None;
};

} // namespace archives
