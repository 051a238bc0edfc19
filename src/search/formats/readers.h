#pragma once

#include "search/archives/archive_walk.h"
#include "search/documents/document.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>

namespace platform {
class ChunkReader;
}

// The readers of documents and archives as the search reaches them: one interface, handed out
// either by the format module the program loads at its first document (module_readers.h) or by
// the readers linked in (linked_readers.h, for the module itself, tests and benchmarks). The
// search names no family; it asks this interface and the documents it gives.
namespace formats {

class Readers
{
public:
    virtual ~Readers() = default;

    // What names the text the readers give: it changes whenever the text of some document would
    // come out differently, so that text kept from another version is not used.
    virtual QByteArray version() const = 0;

    // The document at `source` whose first bytes are `head`, with what was opened to recognise
    // it; null when no reader knows it. Ask only for a head documents::mayBeDocument() allows.
    virtual std::unique_ptr<documents::Document> openDocument(const documents::Source &source,
                                                              QByteArrayView head) const = 0;

    // False when archives cannot be read (no readers): an archive is then searched as the bytes
    // it holds.
    virtual bool readsArchives() const = 0;
    // Walks the archive whose first bytes `head` were read from `file` already (archives.h).
    virtual archives::WalkEnd walkArchive(platform::ChunkReader &file, const QByteArray &head,
                                          const QString &name,
                                          archives::Visitor &visitor) const = 0;
    // Walks the files a document carries (Document::takeAttachments) as archive members
    // (archives::walkAttachments); `documentSize` sets their budget.
    virtual archives::WalkEnd walkAttachments(std::unique_ptr<documents::Attachments> attachments,
                                              qint64 documentSize,
                                              archives::Visitor &visitor) const = 0;
    // Copies one member out to be opened (archives::copyMember); empty when it cannot be.
    virtual QString copyMember(const QString &archivePath, const QList<int> &chain) const = 0;

    // Stops and joins the threads started inside the readers within `limitMs`
    // (platform::endThreads): the format module is linked with its own copy of the platform code,
    // and so has a registry of its own. False when some are still running.
    virtual bool endThreads(int limitMs) const = 0;
};

// The format module's one exported symbol: the module's readers, or null when `version` (the
// program's kReadersVersion) is not the module's own. Valid for as long as the module is loaded.
inline constexpr char kReadersSymbol[] = "quarlex_readers";
inline constexpr quint32 kReadersVersion = 6;
using ReadersFunction = const Readers *(quint32 version);

} // namespace formats
