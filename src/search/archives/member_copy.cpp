#include "search/archives/member_copy.h"

#include "platform/core/chunk_reader.h"
#include "platform/core/member_copies_folder.h"
#include "platform/core/paths.h"
#include "platform/core/program.h"
#include "platform/core/write_all.h"
#include "search/archives/archive_level.h"
#include "search/archives/archive_walk.h"
#include "search/archives/attachment_level.h"
#include "search/documents/registry.h"
#include "search/documents/signatures.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <functional>
#include <memory>

namespace archives {

namespace {

constexpr qint64 kFreeSpaceMargin = qint64(64) << 20;

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    ::remove(path);
    return 0;
}

// Finds entry `index` of `level` and returns true when the level stands on it.
bool moveTo(MemberReader &level, int index)
{
    for (;;) {
        if (level.next() != MemberReader::Next::Member)
            return false;
        if (level.index() == index)
            return true;
        if (level.index() > index)
            return false;
    }
}

// Writes the current member of `level` into the new file `fd`, within the free space of `folder`.
bool copyData(MemberReader &level, int fd, const QByteArray &folder)
{
    struct statvfs space;
    qint64 room = -1;
    if (::statvfs(folder.constData(), &space) == 0)
        room = qint64(space.f_bavail) * qint64(space.f_frsize) - kFreeSpaceMargin;
    qint64 written = 0;
    QByteArray block(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = level.readData(block.data(), block.size());
        if (got == 0)
            return true;
        if (got < 0)
            return false;
        written += got;
        if (room >= 0 && written > room)
            return false;
        if (!platform::writeAll(fd, block.constData(), qsizetype(got)))
            return false;
    }
}

// Reads the current member of `level` whole (for a nested archive that must be read from
// memory, as the walk reads it).
bool readWhole(MemberReader &level, QByteArray &whole)
{
    QByteArray block(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = level.readData(block.data(), block.size());
        if (got == 0)
            return true;
        if (got < 0 || whole.size() + got > kMemoryCap)
            return false;
        whole.append(block.constData(), qsizetype(got));
    }
}

class Copier
{
public:
    Copier(const QList<int> &chain, int fd, QByteArray folder, std::function<bool()> keepGoing)
        : m_chain(chain), m_fd(fd), m_folder(std::move(folder)), m_keepGoing(std::move(keepGoing))
    {}

    // Follows the chain from `level` (at depth `depth`, 0-based in the chain).
    bool follow(MemberReader &level, int depth)
    {
        if (depth >= m_chain.size() || depth >= kMaxDepth || !moveTo(level, m_chain.at(depth)))
            return false;
        m_name = level.memberPath();
        if (depth + 1 == m_chain.size())
            return copyData(level, m_fd, m_folder);
        // The member holds more members: read it as the walk did, whole when its head asks for
        // that.
        QByteArray head(kHeadSize, Qt::Uninitialized);
        qsizetype have = 0;
        while (have < kHeadSize) {
            const qint64 got = level.readData(head.data() + have, kHeadSize - have);
            if (got < 0)
                return false;
            if (got == 0)
                break;
            have += qsizetype(got);
        }
        head.resize(have);
        const QString name = m_name.mid(m_name.lastIndexOf(u'/') + 1);
        if (needsWholeBytes(head)) {
            QByteArray bytes = head;
            if (!readWhole(level, bytes))
                return false;
            // A document first, as the walk recognises it: then its attachments are the level
            // below; otherwise an archive read from memory.
            const documents::Source source = documents::Source::fromBytes(bytes, name);
            if (std::unique_ptr<documents::Document> document =
                    documents::openDocument(source, head))
                return followAttachments(*document, depth + 1);
            const std::unique_ptr<Level> inner =
                Level::inMemory(std::move(bytes), name, m_keepGoing);
            return follow(*inner, depth + 1);
        }
        Level inner(
            std::move(head),
            [&level](QByteArray &buffer, qsizetype size) {
                const qsizetype old = buffer.size();
                buffer.resize(old + size);
                const qint64 got = level.readData(buffer.data() + old, size);
                buffer.resize(old + std::max<qint64>(got, 0));
                return got;
            },
            name, m_keepGoing);
        return follow(inner, depth + 1);
    }

    // Follows the chain into the files `document` carries, from `depth`.
    bool followAttachments(documents::Document &document, int depth)
    {
        std::unique_ptr<documents::Attachments> carried = document.takeAttachments();
        if (!carried)
            return false;
        AttachmentLevel level(std::move(carried), kMemoryCap, m_keepGoing);
        return follow(level, depth);
    }

    const QString &name() const { return m_name; }

private:
    const QList<int> &m_chain;
    int m_fd;
    QByteArray m_folder;
    std::function<bool()> m_keepGoing;
    QString m_name;
};

} // namespace

QString copyMember(const QString &archivePath, const QList<int> &chain)
{
    if (chain.isEmpty())
        return QString();
    // The end of the process stops the copy between two blocks (the levels ask `keepGoing`),
    // and waits for it, so that nothing is inside the archive's reader when it goes.
    const platform::StoppableWork work;
    const auto keepGoing = [&work] { return !work.stopRequested(); };
    const QString folder = platform::memberCopiesFolder();
    if (folder.isEmpty())
        return QString();
    QByteArray copyFolder = platform::nativePath(folder) + "/open-XXXXXX";
    if (!::mkdtemp(copyFolder.data()))
        return QString();
    const auto giveUp = [&copyFolder] {
        ::nftw(copyFolder.constData(), &removeEntry, 8, FTW_DEPTH | FTW_PHYS);
        return QString();
    };

    platform::ChunkReader file;
    if (!file.open(archivePath))
        return giveUp();
    const QByteArray part = copyFolder + "/.part";
    const int fd =
        ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return giveUp();
    // The first bytes tell how the archive is read (a single compressed file, a 7z), as they
    // told the walk.
    QByteArray head;
    if (file.readInto(head, kHeadSize) < 0) {
        ::close(fd);
        return giveUp();
    }
    Copier copier(chain, fd, copyFolder, keepGoing);
    bool copied = false;
    // A document that carries files (a mail) is recognised before an archive, as the search does.
    std::unique_ptr<documents::Document> document;
    if (documents::mayBeDocument(head))
        document = documents::openDocument(archivePath, head);
    if (document) {
        copied = copier.followAttachments(*document, 0);
    } else {
        const std::unique_ptr<Level> level =
            Level::inFile(file, std::move(head), QFileInfo(archivePath).fileName(), keepGoing);
        copied = copier.follow(*level, 0);
    }
    const bool closed = ::close(fd) == 0;
    if (!copied || !closed)
        return giveUp();
    const QByteArray target = copyFolder + '/' + safeCopyName(copier.name()).toUtf8();
    if (::rename(part.constData(), target.constData()) != 0)
        return giveUp();
    return platform::pathFromNative(target);
}

QString safeCopyName(const QString &memberPath)
{
    QString name = memberPath.mid(memberPath.lastIndexOf(u'/') + 1);
    name.remove(QChar(u'\0'));
    name.remove(u'\\');
    while (name.toUtf8().size() > 200)
        name.chop(1);
    if (name.isEmpty() || name == u"." || name == u"..")
        return QStringLiteral("member");
    return name;
}

} // namespace archives
