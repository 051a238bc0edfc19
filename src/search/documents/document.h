#pragma once

#include "platform/core/work_monitor.h"
#include "search/documents/document_text.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace documents {

// What the raw bytes of a document tell about a keyword before its text is read.
enum class Screen {
    Absent,   // the text cannot hold the keyword
    Possible, // the text must be read to tell
    Stopped,  // the monitor said stop
};

class Document;
class Probe;

// The files a document carries inside it (a mail's attachments, a saved message inside a mail),
// handed out one at a time in the document's order, each decoded whole. Self-contained: it
// keeps what it reads from alive (the parsed message, the open compound file) for as long as it
// lives, also after the document it came from is gone. Used by one thread at a time.
class Attachments
{
public:
    struct Attachment
    {
        // Its place among the document's attachments (counted from 0, skipped ones included):
        // the same at every reading of the same bytes, so that the report can find it again.
        int index = -1;
        // Its file name as the document gives it, decoded (RFC 2047 and 2231 words included); a
        // name made from its type when it has none. May hold "/" or "\\": the walk makes it safe.
        QString name;
        // Its decoded bytes; empty when it was larger than the limit given to next().
        QByteArray bytes;
        // Its declared or decoded size in bytes (bytes.size() when held).
        qint64 size = 0;
        // It could not be decoded (or not whole, or it is larger than the limit): what `bytes`
        // holds is all there is.
        bool damaged = false;
        bool encrypted = false;
    };
    virtual ~Attachments() = default;
    // The next attachment, or nothing after the last. One larger than `maxBytes` decoded is
    // handed out damaged with no bytes, never held whole.
    virtual std::optional<Attachment> next(qint64 maxBytes) = 0;
};

// One reader family's row in the registry of readers (registry.cpp): everything the search needs
// to know of the family, so that nothing outside its folder names it.
struct Format
{
    Kind kind;
    // Raised with every change to the text the family's reader gives, so that text kept from an
    // earlier reader is not used.
    const char *version;
    // True when `head`, a file's first bytes, starts as the family's files do (for the families
    // inside ZIP packages and compound files, the container's signature). Byte checks only: told
    // before any reader is loaded.
    bool (*signature)(QByteArrayView head);
    // For a file whose head has the signature: true when it is of this family. The probe opens
    // a container (a ZIP package, a compound file) once for all the rows that ask.
    bool (*recognise)(Probe &probe);
    // The document, taking over what the probe opened.
    std::unique_ptr<Document> (*open)(Probe &probe);
    // The reader makes long library calls (a heavy PDF page, the recognition of a scanned page):
    // the search reads it on a thread of its own and waits for it there.
    bool onWorker;
    // From the raw bytes, before any text is read (null: the family cannot tell): Absent when the
    // text cannot hold a keyword whose non-ASCII characters have the UTF-8 forms
    // `utf8Characters`. Runs on the asking thread, which `monitor.keepGoing()` lets go on between
    // blocks.
    Screen (*screen)(const Document &document, const std::vector<QByteArray> &utf8Characters,
                     platform::WorkMonitor &monitor);
};

// One recognised document: what recognition opened to tell its kind (a ZIP package, a compound
// file) it keeps and reads on, so that nothing is opened twice. Made by the registry of readers;
// read by one thread at a time.
class Document
{
public:
    Document(const Format &format, Source source) : m_format(format), m_source(std::move(source)) {}
    virtual ~Document() = default;
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    Kind kind() const { return m_format.kind; }
    const Source &source() const { return m_source; }
    bool readsOnWorker() const { return m_format.onWorker; }
    // True when screen() may answer Absent.
    bool screens() const { return m_format.screen != nullptr; }
    Screen screen(const std::vector<QByteArray> &utf8Characters,
                  platform::WorkMonitor &monitor) const
    {
        return m_format.screen ? m_format.screen(*this, utf8Characters, monitor) : Screen::Possible;
    }

    // Hands the document's text to `out` in pieces, in order (the layout of document_text.h),
    // until the end, until `out` returns false or until `monitor` is cancelled (polled between
    // pieces, pages and XML tokens; never keepGoing(), so that it can run on any thread). How far
    // it has come through its pages goes to the monitor's progress.
    virtual Outcome extract(const TextOut &out, platform::WorkMonitor &monitor) = 0;

    // True when the document carries files of its own (a mail's attachments): the search then
    // reads its text as the document's and each attachment as a member, like an archive's.
    virtual bool hasAttachments() const { return false; }
    // The attachments, read on their own (null when there are none). Asked at most once; what it
    // returns stays valid after the document is gone.
    virtual std::unique_ptr<Attachments> takeAttachments() { return nullptr; }

private:
    const Format &m_format;
    Source m_source;
};

} // namespace documents
