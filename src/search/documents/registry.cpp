#include "search/documents/registry.h"

#include "search/documents/chm/help_file.h"
#include "search/documents/epub/epub.h"
#include "search/documents/format_support.h"
#include "search/documents/mime/message.h"
#include "search/documents/msg/outlook_message.h"
#include "search/documents/odf/open_document.h"
#include "search/documents/ofd/ofd.h"
#include "search/documents/ole2/encrypted_package.h"
#include "search/documents/ole2/excel97.h"
#include "search/documents/ole2/powerpoint97.h"
#include "search/documents/ole2/word97.h"
#include "search/documents/ooxml/office_open_xml.h"
#include "search/documents/pdf/pdf.h"
#include "search/documents/picture/picture.h"
#include "search/documents/rtf/rtf.h"
#include "search/documents/signatures.h"
#include "search/documents/text_screen.h"
#include "search/ocr/ocr.h"

namespace documents {

namespace {

// The registry: one row per reader family, in the order recognition asks them. Within a
// container the more telling rows come first (an Office package before an OpenDocument one, an
// encrypted package before the compound files' own formats). An Outlook message comes after the
// Office formats: it has none of their streams at its root, and they have no property stream.
const Format *const kFormats[] = {
    &kPdfFormat,          &kOfficeOpenXmlFormat,    &kOpenDocumentFormat, &kOfdFormat,
    &kEpubFormat,         &kEncryptedPackageFormat, &kWord97Format,       &kExcel97Format,
    &kPowerPoint97Format, &kOutlookMessageFormat,   &kRtfFormat,          &kPictureFormat,
    &kMessageFormat,      &kHelpFileFormat,
};

} // namespace

std::span<const Format *const> formats()
{
    return kFormats;
}

Probe::Probe(const Source &source, QByteArrayView head) : m_source(source), m_head(head) {}

Probe::~Probe() = default;

const ZipPackage &Probe::package()
{
    if (!m_package) {
        m_package = std::make_unique<ZipPackage>();
        m_package->open(m_source);
    }
    return *m_package;
}

std::unique_ptr<ZipPackage> Probe::takePackage()
{
    package();
    return std::move(m_package);
}

const QStringList &Probe::localNames()
{
    if (!m_localNames)
        m_localNames = zipNamesFromLocalHeaders(m_source, 64);
    return *m_localNames;
}

const CompoundFile *Probe::compoundFile()
{
    if (!m_compoundTried) {
        m_compoundTried = true;
        m_compound = std::make_unique<CompoundFile>();
        if (!m_compound->open(m_source))
            m_compound.reset();
    }
    return m_compound.get();
}

std::unique_ptr<CompoundFile> Probe::takeCompoundFile()
{
    compoundFile();
    return std::move(m_compound);
}

QByteArrayView Probe::start()
{
    if (!m_start)
        m_start = m_source.head(1 << 20);
    return *m_start;
}

std::unique_ptr<Document> openDocument(const Source &source, QByteArrayView head)
{
    Probe probe(source, head);
    for (const Format *format : kFormats) {
        if (format->signature(head) && format->recognise(probe))
            return format->open(probe);
    }
    return nullptr;
}

std::unique_ptr<Document> openAs(const Source &source, Kind kind)
{
    for (const Format *format : kFormats) {
        if (format->kind == kind) {
            Probe probe(source, QByteArrayView());
            return format->open(probe);
        }
    }
    return nullptr;
}

Outcome extractWith(const TextOut &out, platform::WorkMonitor &monitor,
                    const std::function<Outcome(TextSink &)> &extract)
{
    const ProgressOut progress = [&](int permille) { monitor.setProgress(permille); };
    TextSink sink(out, &monitor.cancelFlag(), &progress, &monitor);
    return sink.finish(extract(sink));
}

Screen screenPackage(const Document &document, const std::vector<QByteArray> &utf8Characters,
                     platform::WorkMonitor &monitor)
{
    const auto &package = static_cast<const PackageDocument &>(document).package();
    return screenPackageBytes(package, document.kind(), utf8Characters, monitor);
}

// --- The functions of document_text.h, over the registry ---------------------------------------

Kind recognise(const Source &source, QByteArrayView head)
{
    const std::unique_ptr<Document> document = openDocument(source, head);
    return document ? document->kind() : Kind::NotDocument;
}

QByteArray extractorVersion()
{
    // The recognition engine's version and its language data are part of it, since pictures and
    // scanned pages are read by it.
    static const QByteArray version = []() -> QByteArray {
        QByteArray made = "quarlex-text-3";
        for (const Format *format : kFormats)
            made += ';' + QByteArray::number(int(format->kind)) + ':' + format->version;
        return made + ';' + ocr::engineVersion();
    }();
    return version;
}

Outcome extractText(const Source &source, Kind kind, const TextOut &out)
{
    const std::unique_ptr<Document> document = openAs(source, kind);
    // Asked for the text of something that is no document: there is no document text to give.
    if (!document)
        return Outcome::Damaged;
    platform::WorkMonitor monitor;
    return document->extract(out, monitor);
}

} // namespace documents
