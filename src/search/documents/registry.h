#pragma once

#include "search/documents/document.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <span>

namespace documents {

class CompoundFile;
class ZipPackage;

// What recognition has opened of one file, shared by the registry's rows as each is asked: the
// ZIP package or the compound file is opened at the first row that needs it, never twice, and
// handed to the document made from it.
class Probe
{
public:
    Probe(const Source &source, QByteArrayView head);
    ~Probe();
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;

    const Source &source() const { return m_source; }
    QByteArrayView head() const { return m_head; }

    // The file as a ZIP package; not open (isOpen() false) when its entry list cannot be read.
    const ZipPackage &package();
    std::unique_ptr<ZipPackage> takePackage();
    // For a package whose entry list cannot be read (a cut download): the names of its first
    // entries, from their local headers.
    const QStringList &localNames();

    // The file as a compound file; null when it cannot be opened.
    const CompoundFile *compoundFile();
    std::unique_ptr<CompoundFile> takeCompoundFile();
    // The first MiB of the file, for a compound file whose directory cannot be read.
    QByteArrayView start();

    // What the rows of one container found out about the file (the kind its streams tell),
    // noted by the first of them so that the others need not work it out again.
    std::optional<Kind> &containerKind() { return m_containerKind; }

private:
    const Source &m_source;
    QByteArrayView m_head;
    std::unique_ptr<ZipPackage> m_package;
    std::optional<QStringList> m_localNames;
    std::unique_ptr<CompoundFile> m_compound;
    bool m_compoundTried = false;
    std::optional<QByteArray> m_start;
    std::optional<Kind> m_containerKind;
};

// The rows of the registry, in the order recognition asks them.
std::span<const Format *const> formats();

// The document at `source` whose first bytes are `head` (at least 8 when the file has them); null
// when no family knows it. Files that are no document are told from `head` alone.
std::unique_ptr<Document> openDocument(const Source &source, QByteArrayView head);

// The document at `source` read as one of `kind`, without recognising it; null for NotDocument.
std::unique_ptr<Document> openAs(const Source &source, Kind kind);

} // namespace documents
