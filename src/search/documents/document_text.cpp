#include "search/documents/document_text.h"

#include "search/documents/epub/epub.h"
#include "search/documents/odf/open_document.h"
#include "search/documents/ofd/ofd.h"
#include "search/documents/ole2/compound_file.h"
#include "search/documents/ole2/encrypted_package.h"
#include "search/documents/ole2/excel97.h"
#include "search/documents/ole2/powerpoint97.h"
#include "search/documents/ole2/word97.h"
#include "search/documents/ooxml/office_open_xml.h"
#include "search/documents/pdf/pdf.h"
#include "search/documents/picture/picture.h"
#include "search/documents/rtf/rtf.h"
#include "search/documents/signatures.h"
#include "search/documents/text_sink.h"
#include "search/documents/zip_package.h"
#include "search/ocr/ocr.h"

#include <QRegularExpression>

#include <memory>

namespace documents {

namespace {

// An OFD package has OFD.xml at its root, with an ofd:OFD root element. One whose OFD.xml cannot
// be read is a damaged OFD file, which extraction reports.
bool isOfdPackage(const ZipPackage &package)
{
    const QString ofd = QStringLiteral("OFD.xml");
    if (!package.contains(ofd))
        return false;
    QByteArray head;
    const ZipPackage::Status status = package.read(ofd, [&](QByteArrayView block) {
        head.append(block.first(std::min<qsizetype>(block.size(), (64 << 10) - head.size())));
        return head.size() < (64 << 10);
    });
    if (status != ZipPackage::Status::Ok && status != ZipPackage::Status::Stopped)
        return true;
    return hasOfdRoot(head);
}

// The start of an EPUB file: its first entry is the mimetype, stored, so that its content follows
// the 30-byte local header, the name and the extra field.
bool isEpubHead(const Source &source)
{
    const QByteArray head = source.head(128);
    if (head.size() < 30 || u16At(head, 8) != 0) // compressed
        return false;
    const qsizetype at = 30 + u16At(head, 26) + u16At(head, 28);
    return at < head.size() && QByteArrayView(head).sliced(at).startsWith("application/epub+zip");
}

Kind recogniseZip(const Source &source, ZipPackage *opened)
{
    const QString contentTypes = QStringLiteral("[Content_Types].xml");
    const QString mimetype = QStringLiteral("mimetype");
    ZipPackage own;
    ZipPackage &package = opened ? *opened : own;
    if (package.open(source)) {
        QByteArray content;
        if (package.contains(contentTypes)) {
            const ZipPackage::Status status = package.readAll(contentTypes, content, 4 << 20);
            // A declaration that cannot be read is a damaged document, which extraction reports.
            if (status != ZipPackage::Status::Ok || declaresOfficeMainPart(content))
                return Kind::OfficeOpenXml;
        }
        if (package.contains(mimetype) &&
            package.readAll(mimetype, content, 256) == ZipPackage::Status::Ok &&
            content.trimmed().startsWith("application/vnd.oasis.opendocument."))
            return Kind::OpenDocument;
        if (isOfdPackage(package))
            return Kind::Ofd;
        return isEpubPackage(package) ? Kind::Epub : Kind::NotDocument;
    }
    // No entry list (the central directory at the end is missing: a cut download): the names of
    // the first entries still tell a document, which extraction then reports damaged. Office
    // suites do not all write [Content_Types].xml first; the package relationships name is as
    // telling.
    // An EPUB book has a mimetype entry too, and a container, which OpenDocument files have not.
    bool hasMimetype = false;
    for (const QString &name : zipNamesFromLocalHeaders(source, 64)) {
        if (name.compare(contentTypes, Qt::CaseInsensitive) == 0 ||
            name.compare(u"_rels/.rels", Qt::CaseInsensitive) == 0)
            return Kind::OfficeOpenXml;
        // OFD writers name the documents' parts Doc_0/Document.xml, Doc_1/Document.xml ...,
        // and some write OFD.xml last.
        static const QRegularExpression ofdDocument(
            QStringLiteral("^(OFD\\.xml|Doc_[0-9]+/Document\\.xml)$"),
            QRegularExpression::CaseInsensitiveOption);
        if (ofdDocument.match(name).hasMatch())
            return Kind::Ofd;
        if (name.compare(u"META-INF/container.xml", Qt::CaseInsensitive) == 0)
            return Kind::Epub;
        hasMimetype = hasMimetype || name == mimetype;
    }
    if (hasMimetype)
        return isEpubHead(source) ? Kind::Epub : Kind::OpenDocument;
    return Kind::NotDocument;
}

// A compound file whose directory cannot be read (cut short, as an interrupted download leaves
// it): the start of a Word, Excel or PowerPoint stream at a sector boundary still tells what it
// was, and extraction then reports it damaged. Streams start at a 512-byte sector or, when small,
// at a 64-byte sector of the mini stream.
Kind recogniseDamagedCompoundFile(const Source &source)
{
    const QByteArray bytes = source.head(1 << 20);
    for (qsizetype at = 512; at + 8 <= bytes.size(); at += 64) {
        const QByteArrayView start = QByteArrayView(bytes).sliced(at, 8);
        if (isWord97Fib(start))
            return Kind::Word97;
        // BOF of the workbook globals, BIFF8 or BIFF5 ([MS-XLS] 2.4.21).
        if (u16At(start, 0) == 0x0809 && (u16At(start, 2) == 16 || u16At(start, 2) == 8) &&
            (u16At(start, 4) == 0x0600 || u16At(start, 4) == 0x0500) && u16At(start, 6) == 0x0005)
            return Kind::Excel97;
        // The DocumentContainer record that opens a PowerPoint Document stream ([MS-PPT] 2.4.1).
        if (u16At(start, 0) == 0x000F && u16At(start, 2) == 0x03E8)
            return Kind::PowerPoint97;
    }
    return Kind::NotDocument;
}

// An OLE2 compound file is a document by the streams of its root storage. Any other compound file
// (an installer, a mail message, a thumbnail cache) is read as plain bytes.
Kind recogniseCompoundFile(const Source &source)
{
    CompoundFile file;
    if (!file.open(source))
        return recogniseDamagedCompoundFile(source);
    if (isEncryptedPackage(file))
        return Kind::EncryptedPackage;
    if (file.contains("WordDocument")) {
        QByteArray fib;
        file.read("WordDocument", fib, 4);
        return isWord97Fib(fib) ? Kind::Word97 : Kind::NotDocument;
    }
    if (file.contains("Workbook") || file.contains("Book"))
        return Kind::Excel97;
    if (file.contains("PowerPoint Document"))
        return Kind::PowerPoint97;
    return Kind::NotDocument;
}

std::unique_ptr<Extractor> extractorFor(Kind kind)
{
    switch (kind) {
    case Kind::OfficeOpenXml:
        return std::make_unique<OfficeOpenXmlExtractor>();
    case Kind::OpenDocument:
        return std::make_unique<OpenDocumentExtractor>();
    case Kind::Pdf:
        return std::make_unique<PdfExtractor>();
    case Kind::EncryptedPackage:
        return std::make_unique<EncryptedPackageExtractor>();
    case Kind::Word97:
        return std::make_unique<Word97Extractor>();
    case Kind::Excel97:
        return std::make_unique<Excel97Extractor>();
    case Kind::PowerPoint97:
        return std::make_unique<PowerPoint97Extractor>();
    case Kind::Epub:
        return std::make_unique<EpubExtractor>();
    case Kind::Ofd:
        return std::make_unique<OfdExtractor>();
    case Kind::Rtf:
        return std::make_unique<RtfExtractor>();
    case Kind::Picture:
        return std::make_unique<PictureExtractor>();
    case Kind::NotDocument:
        break;
    }
    return nullptr;
}

} // namespace

Kind recognise(const Source &source, QByteArrayView head, ZipPackage *package)
{
    if (startsWith(head, kPdfSignature, 5))
        return Kind::Pdf;
    if (startsWith(head, kZipSignature, 4))
        return recogniseZip(source, package);
    if (startsWith(head, kOle2Signature, 8))
        return recogniseCompoundFile(source);
    if (startsWith(head, kRtfSignature, 5))
        return Kind::Rtf;
    if (ocr::isPicture(head))
        return Kind::Picture;
    return Kind::NotDocument;
}

QByteArray extractorVersion()
{
    // Raised with every change to what any reader gives; the recognition engine's version and
    // its language data are part of it, since pictures and scanned pages are read by it.
    static const QByteArray version = "quarlex-text-2;" + ocr::engineVersion();
    return version;
}

Outcome extractText(const Source &source, Kind kind, const TextOut &out,
                    const std::atomic<bool> *stop, const ProgressOut &progress)
{
    const std::unique_ptr<Extractor> extractor = extractorFor(kind);
    // Asked for the text of something that is no document: there is no document text to give.
    if (!extractor)
        return Outcome::Damaged;
    TextSink sink(out, stop, progress ? &progress : nullptr);
    return sink.finish(extractor->extract(source, sink));
}

} // namespace documents
