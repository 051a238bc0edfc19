#pragma once

#include "search/documents/document_text.h"
#include "search/documents/source.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QXmlStreamReader;
struct archive;
struct archive_entry;

namespace documents {

class TextSink;

// A ZIP archive read through libarchive: the entry list from the central directory, and any entry
// inflated block by block. Entry names are matched without regard to case, as package part names
// are.
class ZipPackage
{
public:
    enum class Status { Ok, Missing, Damaged, Encrypted, TooLarge, Stopped };

    // An entry stops inflating when it passes kMaxInflated, or once past kRatioFloor when it has
    // inflated to more than kMaxRatio times its compressed size: no real document part does that,
    // a ZIP bomb does, and it must not fill memory or disk. The limits are applied three ways:
    // - before a byte is inflated, to the size the archive declares for the entry (a bomb that
    //   tells its size is refused at once);
    // - to the bytes inflated, block by block: past the declared size (a bomb that hides its
    //   size), past kMaxInflated, past kMaxRatio times the compressed size;
    // - to the package as a whole: all the bytes this package has inflated against all the
    //   compressed bytes they came from, once past kPackageRatioFloor at kMaxPackageRatio (no
    //   real package inflates to tens of MiB at that ratio), so that many entries each under
    //   kRatioFloor do not add up to a bomb; and never more than kMaxPackageInflated in all (the
    //   same part read twice counts twice).
    static constexpr qint64 kMaxInflated = qint64(1) << 30;
    static constexpr qint64 kRatioFloor = qint64(1) << 20;
    static constexpr qint64 kMaxRatio = 1000;
    static constexpr qint64 kPackageRatioFloor = qint64(16) << 20;
    static constexpr qint64 kMaxPackageRatio = 200;
    static constexpr qint64 kMaxPackageInflated = 2 * kMaxInflated;
    // More entries than this is no document (the largest real packages hold a few thousand); the
    // entry list of such an archive is not kept, and open() fails.
    static constexpr int kMaxEntries = 1 << 16;
    // A package up to this size is read into memory once, then its parts are read from there:
    // a small package's parts cost little more than the system calls of opening it again. A
    // larger one is opened by name for each part, so that recognising it reads only its entry
    // list and one part.
    static constexpr qint64 kMaxInMemory = qint64(1) << 20;

    // Reads the entry list. False when the file is no readable ZIP archive (truncated, corrupt).
    bool open(const Source &source);
    // True after an open() that succeeded.
    bool isOpen() const { return m_open; }

    bool contains(const QString &name) const { return m_entries.contains(name.toLower()); }

    // Inflates the entry `name`, handing each block to `block`; stops when it returns false.
    Status read(const QString &name, const std::function<bool(QByteArrayView)> &block) const;

    // What readEach does with an entry.
    enum class Step { Read, Skip, Stop };
    // Inflates every entry in archive order, in one pass: `entry` gets each entry's name (as
    // stored) before `block` gets its blocks, and tells whether to read it, pass over it or stop
    // (Stopped); so does `block` returning false.
    Status readEach(const std::function<Step(QByteArrayView name)> &entry,
                    const std::function<bool(QByteArrayView)> &block) const;

    // The whole of a small entry (relationships, content types): at most `limit` bytes, else
    // TooLarge.
    Status readAll(const QString &name, QByteArray &content, qint64 limit = 16 << 20) const;

private:
    struct Entry
    {
        QByteArray name;       // as stored
        qint64 compressed = 0; // an upper bound: the directory's, else the file's size
        qint64 declared = -1;  // the size the archive declares for the entry, -1 when none
        bool encrypted = false;
        // From the central directory of a package held in memory (-1 when not known there):
        // where the entry's local header starts, its compressed size, compression method and
        // CRC-32.
        qint64 localHeader = -1;
        qint64 packed = -1;
        int method = -1;
        quint32 crc = 0;
    };

    const QByteArray *bytes() const { return m_bytes.isEmpty() ? nullptr : &m_bytes; }
    Status inflate(archive *a, archive_entry *header, const Entry *entry,
                   const std::function<bool(QByteArrayView)> &block) const;
    // Counts the entry against the package's limits before a byte of it is inflated: Ok, or
    // TooLarge for a size no real part has.
    Status admit(const Entry *entry) const;
    bool packageOverRatio(qint64 inflated) const;
    // The entry inflated whole from the bytes in memory and handed over in blocks; no status
    // when that cannot be done (the entry is then inflated through the archive reader).
    std::optional<Status> inflateFromMemory(const Entry &entry,
                                            const std::function<bool(QByteArrayView)> &block) const;
    Status walkEach(size_t from, bool asked, bool admitted,
                    const std::function<Step(QByteArrayView name)> &entry,
                    const std::function<bool(QByteArrayView)> &block) const;
    Status inflateBlocks(archive *a, const Entry *entry,
                         const std::function<bool(QByteArrayView)> &block) const;
    // The whole entry inflated from the bytes in memory in one call, its CRC checked; false when
    // that cannot be done (the entry is then inflated through the archive reader).
    bool inflateWhole(const Entry &entry, QByteArray &out) const;

    // Keeps the small parts every reader asks for first (content types, relationships, the
    // mimetype), read while open() walks the entries (or from memory after it), so that asking
    // for them later walks the entries no more.
    void keepSmallPart(archive *a, const QByteArray &name, qint64 declared);
    bool isSmallPart(QByteArrayView name, qint64 declared) const;

    QString m_path;
    bool m_open = false;
    QByteArray m_bytes;                         // the whole file when it is small enough
    QHash<QString, Entry> m_entries;            // by lower-case name
    std::vector<QByteArray> m_order;            // the entries' names as stored, as listed
    QHash<QByteArray, QByteArray> m_smallParts; // by name as stored: the first of that name
    qint64 m_smallPartBytes = 0;
    // What this package has inflated so far, and the compressed bytes of the entries read.
    mutable qint64 m_inflated = 0;
    mutable qint64 m_compressedRead = 0;
};

// The outcome of an extraction that ended on reading a package entry with `status`: a part that is
// missing or too large to be real makes the document damaged.
Outcome outcomeOf(ZipPackage::Status status);

// The names inside the ZIP archive at `path`, read from the local headers one after the other; for
// recognising an archive whose central directory is missing (a truncated download). Reads at most
// `maxEntries` names.
QStringList zipNamesFromLocalHeaders(const Source &source, int maxEntries);

// Receives the tokens of one XML part while it inflates.
class XmlPartHandler
{
public:
    virtual ~XmlPartHandler() = default;
    virtual void startElement(const QXmlStreamReader &reader) = 0;
    virtual void endElement(const QXmlStreamReader &reader) = 0;
    // Text comes in pieces: one text node may be handed over in several calls.
    virtual void characters(QStringView text) = 0;
};

// Streams the XML entry `name` of `package` into `handler`, feeding the XML reader block by block
// as the entry inflates; the part is never held whole, nor is any long run of its text (see
// XmlFeed): `handler` gets characters() in pieces of at most about XmlFeed::kPiece bytes. Polls
// `sink` for a stop between tokens. Returns Damaged for XML that is not well formed or ends early,
// and for markup longer than XmlFeed::kMaxMarkup.
ZipPackage::Status readXmlPart(const ZipPackage &package, const QString &name,
                               XmlPartHandler &handler, const TextSink &sink);

} // namespace documents
