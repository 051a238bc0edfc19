#pragma once

#include "search/documents/document_text.h"
#include "search/documents/ole2/compound_file.h"
#include "search/documents/zip_package.h"

namespace documents {

class TextSink;

// One format family's text extraction. Extractors do not throw; they report what they could not
// read as an Outcome and hand their text to `sink` as they read it.
class Extractor
{
public:
    virtual ~Extractor() = default;
    virtual Outcome extract(const Source &source, TextSink &sink) = 0;
};

// A family whose documents are ZIP packages: it reads on from the package that recognition
// opened, or opens it itself when asked for a source.
class PackageExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) final
    {
        ZipPackage package;
        return package.open(source) ? extractFrom(package, sink) : Outcome::Damaged;
    }
    virtual Outcome extractFrom(const ZipPackage &package, TextSink &sink) = 0;
};

// A family whose documents are OLE2 compound files, likewise.
class CompoundFileExtractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) final
    {
        CompoundFile file;
        return file.open(source) ? extractFrom(file, source, sink) : Outcome::Damaged;
    }
    virtual Outcome extractFrom(const CompoundFile &file, const Source &source, TextSink &sink) = 0;
};

} // namespace documents
