#pragma once

#include "search/documents/document.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

namespace platform {
class ChunkReader;
}

// The members of archives (ZIP, 7z, RAR, tar, and tar or single files compressed with gzip,
// bzip2, xz or zstd), read once as a stream through libarchive, nested archives included.
namespace archives {

// Archives inside archives are read this many levels deep (the outermost is level 1).
inline constexpr int kMaxDepth = 8;
// A member that gives more than kBombRatio times the bytes it was read from, past kBombFloor
// bytes, is a decompression bomb.
inline constexpr qint64 kBombFloor = qint64(64) << 20;
inline constexpr qint64 kBombRatio = 1000;
// Members that are read whole (documents, and ZIP files, whose entry list is at their end) are
// held in memory up to this many bytes, for all levels of nesting together.
inline constexpr qint64 kMemoryCap = qint64(256) << 20;
// The bytes at the start of a member from which it is recognised (a tar header's magic is at 257).
inline constexpr qsizetype kHeadSize = 512;

// True when `head`, the first bytes of a file, is the start of an archive read member by member.
bool looksLikeArchive(QByteArrayView head);

// A member's name from the bytes the archive holds: UTF-8 when they are valid UTF-8, else
// GB18030 (ZIP files made on Chinese Windows store GBK names without the UTF-8 flag). Leading
// "/" and "./" are dropped and "\" counts as a folder separator.
QString decodeMemberName(QByteArrayView raw);

enum class Failure { None, Encrypted, Damaged };

// Where one member sits: the path shown for it below the archive (the names of every level of
// nesting joined by "/": `旧.zip/说明.txt`) and the index of its entry at each level, from which
// it is found again to be opened. An empty chain stands for the archive itself.
struct MemberPlace
{
    QString path;
    QList<int> chain;
};

// The bytes of one member as a visitor reads them, from the first, in blocks.
class MemberBytes
{
public:
    virtual ~MemberBytes() = default;
    // Appends up to `size` bytes to `buffer`; 0 at the end (or at a failure or a stop).
    virtual qint64 readInto(QByteArray &buffer, qsizetype size) = 0;
    // Back to the first byte; false when the bytes are no longer held.
    virtual bool rewind() = 0;
    // True once every byte has been handed out (or the reading failed or stopped).
    virtual bool atEnd() const = 0;
    // True while rewind() can start again (the bytes read so far are all held).
    virtual bool canRewind() const = 0;
};

// What a walk hands out, member by member in archive order.
class Visitor
{
public:
    virtual ~Visitor() = default;
    // A member to search as text. It may stop reading at any point; the rest is skipped.
    virtual void text(const MemberPlace &member, MemberBytes &bytes) = 0;
    // A member that is a document, held in memory and recognised; the visitor owns it.
    virtual void document(const MemberPlace &member,
                          std::unique_ptr<documents::Document> document) = 0;
    // A member, or an archive (nested or the outermost one, whose chain is empty), that could
    // not be read, or not to its end. A hit in what was read before is handed out before this.
    virtual void failed(const MemberPlace &member, Failure why) = 0;
    // Polled between blocks of bytes; false stops the walk.
    virtual bool keepGoing() = 0;
};

enum class WalkEnd { Done, Stopped };

// Walks the archive whose first bytes `head` were read from `file` already; `name` is the
// archive's own file name (it names the member of a single compressed file). The whole walk, all
// levels of nesting together, is held to one ArchiveBudget (archive_budget.h): once it is spent
// the walk ends and the archive itself (an empty chain) is handed to failed() as Damaged, after
// what was found in it before.
WalkEnd walkArchive(platform::ChunkReader &file, const QByteArray &head, const QString &name,
                    Visitor &visitor);
// The same over an archive in memory.
WalkEnd walkArchive(const QByteArray &bytes, const QString &name, Visitor &visitor);

// Walks the files a document carries (a mail's attachments: documents::Attachments) as the
// members of an archive: each is searched as a member of its kind (a document, an archive, a
// mail with attachments of its own), chains counting attachments by their index. The budget is
// that of an archive of `documentSize` bytes.
WalkEnd walkAttachments(std::unique_ptr<documents::Attachments> attachments, qint64 documentSize,
                        Visitor &visitor);

// True when a member whose first bytes are `head` is read whole before it is recognised: a ZIP's
// entry list is at its end, a compound file's directory anywhere, a PDF's cross references at the
// end, a 7z's index at its end, and a message's parts are found through all of it.
bool needsWholeBytes(QByteArrayView head);

} // namespace archives
