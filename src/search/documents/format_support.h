#pragma once

#include "search/documents/extractor.h"
#include "search/documents/registry.h"
#include "search/documents/signatures.h"
#include "search/documents/text_sink.h"

#include <functional>

// What the families' registry rows are made of: a document read from its source, from the ZIP
// package recognition opened, or from the compound file it opened.
namespace documents {

// Runs `extract` with a sink that hands its text to `out` and answers to `monitor` (its cancel
// flag stops the reader, the reader's progress goes to it).
Outcome extractWith(const TextOut &out, platform::WorkMonitor &monitor,
                    const std::function<Outcome(TextSink &)> &extract);

// For the rows of families that recognise every file with their signature.
inline bool anyFile(Probe &)
{
    return true;
}

template <typename Reader> class SourceDocument : public Document
{
public:
    using Document::Document;
    Outcome extract(const TextOut &out, platform::WorkMonitor &monitor) override
    {
        return extractWith(out, monitor,
                           [&](TextSink &sink) { return Reader().extract(source(), sink); });
    }
};

// A document that is a ZIP package, holding the package recognition opened.
class PackageDocument : public Document
{
public:
    PackageDocument(const Format &format, const Source &source, std::unique_ptr<ZipPackage> package)
        : Document(format, source), m_package(std::move(package))
    {}
    const ZipPackage &package() const { return *m_package; }

private:
    std::unique_ptr<ZipPackage> m_package;
};

template <typename Reader> class PackageReaderDocument : public PackageDocument
{
public:
    using PackageDocument::PackageDocument;
    Outcome extract(const TextOut &out, platform::WorkMonitor &monitor) override
    {
        if (!package().isOpen())
            return Outcome::Damaged;
        return extractWith(out, monitor,
                           [&](TextSink &sink) { return Reader().extractFrom(package(), sink); });
    }
};

template <typename Reader> class CompoundDocument : public Document
{
public:
    CompoundDocument(const Format &format, const Source &source, std::unique_ptr<CompoundFile> file)
        : Document(format, source), m_file(std::move(file))
    {}
    Outcome extract(const TextOut &out, platform::WorkMonitor &monitor) override
    {
        if (!m_file)
            return Outcome::Damaged;
        return extractWith(out, monitor, [&](TextSink &sink) {
            return Reader().extractFrom(*m_file, source(), sink);
        });
    }

private:
    std::unique_ptr<CompoundFile> m_file;
};

template <typename Reader, const Format &row> std::unique_ptr<Document> openSource(Probe &probe)
{
    return std::make_unique<SourceDocument<Reader>>(row, probe.source());
}

template <typename Reader, const Format &row> std::unique_ptr<Document> openPackage(Probe &probe)
{
    return std::make_unique<PackageReaderDocument<Reader>>(row, probe.source(),
                                                           probe.takePackage());
}

template <typename Reader, const Format &row>
std::unique_ptr<Document> openCompoundFile(Probe &probe)
{
    return std::make_unique<CompoundDocument<Reader>>(row, probe.source(),
                                                      probe.takeCompoundFile());
}

// The raw-byte screen of a ZIP-based document (TextScreen), over the package it holds.
Screen screenPackage(const Document &document, const std::vector<QByteArray> &utf8Characters,
                     platform::WorkMonitor &monitor);

// True when `head` starts with the `size` bytes of `signature` (signatures.h).
template <const char *signature, qsizetype size> bool hasSignature(QByteArrayView head)
{
    return startsWith(head, signature, size);
}
inline constexpr auto hasZipSignature = hasSignature<kZipSignature, 4>;
inline constexpr auto hasCompoundFileSignature = hasSignature<kOle2Signature, 8>;

} // namespace documents
