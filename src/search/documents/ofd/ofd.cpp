#include "search/documents/ofd/ofd.h"

#include "search/documents/ofd/ofd_parts.h"
#include "search/documents/ofd/ofd_paths.h"
#include "search/documents/picture/picture.h"
#include "search/documents/placed_text.h"
#include "search/documents/text_sink.h"
#include "search/documents/zip_package.h"
#include "search/ocr/ocr.h"

#include <QHash>
#include <QXmlStreamReader>

#include <span>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;
using namespace ofd;

class OfdReader
{
public:
    OfdReader(const ZipPackage &package, TextSink &sink) : m_package(package), m_sink(sink) {}

    Outcome read();

    // What a page, template page or annotation file is read as.
    enum class Part { Page, Template, Annotation };
    Status readPart(const QString &entry, Part part, const DocumentParts *document);
    // The text of the composite graphic unit `id` of the document's resource files, where a
    // CompositeObject draws it.
    Status readComposite(const QString &id, const DocumentParts &document);

    TextSink &sink() { return m_sink; }
    const ZipPackage &package() const { return m_package; }
    void sawText() { m_sawText = true; }
    void sawImage() { m_sawImage = true; }
    // Reads the images of a page without text (a scan) by text recognition, in the order the
    // page draws them.
    Status recogniseImages(const QStringList &resourceIds, const DocumentParts &document);

private:
    Status readDocument(const QString &entry);
    Status readAnnotationList(const DocumentParts &document,
                              QHash<QString, QStringList> &files) const;

    const ZipPackage &m_package;
    TextSink &m_sink;
    bool m_sawText = false;
    bool m_sawImage = false;
    bool m_recognised = false; // text recognition read something on some page
    QStringList m_drawnUnits;  // the composite units being drawn, one inside the next
    // The media files of the document whose resource files were read last, as package entries.
    const DocumentParts *m_mediaOf = nullptr;
    QHash<QString, QString> m_media;
};

// The text of a page, a template page or an annotation file. A page's template pages are read
// where they are drawn: those behind it when its content starts, those in front when it ends.
class PageHandler : public XmlPartHandler
{
public:
    PageHandler(OfdReader &reader, OfdReader::Part part, const DocumentParts *document)
        : m_reader(reader), m_part(part), m_document(document)
    {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (failure != Status::Ok)
            return;
        const QStringView name = reader.name();
        if (name == u"TextObject") {
            ++m_textObjects;
            m_ownText = true;
            m_reader.sawText();
        } else if (name == u"TextCode") {
            m_inCode = m_textObjects > 0;
        } else if (name == u"CompositeObject") {
            const QString id = attribute(reader, "ResourceID"_L1);
            if (m_document && !id.isEmpty())
                failure = m_reader.readComposite(id, *m_document);
        } else if (name == u"ImageObject") {
            m_reader.sawImage();
            const QString id = attribute(reader, "ResourceID"_L1);
            if (m_part == OfdReader::Part::Page && !id.isEmpty() && m_images.size() < 64)
                m_images.append(id);
        } else if (m_part == OfdReader::Part::Page && m_depth == 1) {
            if (name == u"Template")
                addTemplate(reader);
            else if (name == u"Content")
                readTemplates(Behind);
        }
        ++m_depth;
    }

    void endElement(const QXmlStreamReader &reader) override
    {
        if (failure != Status::Ok)
            return;
        --m_depth;
        const QStringView name = reader.name();
        if (name == u"TextCode") {
            m_inCode = false;
        } else if (name == u"TextObject" && m_textObjects > 0) {
            --m_textObjects;
            writeLine();
            m_reader.sink().append(u'\n');
        }
        if (m_part == OfdReader::Part::Page && m_depth == 0) {
            readTemplates(Behind); // those named after the content, if any
            readTemplates(InFront);
            if (failure == Status::Ok && !m_ownText && !m_images.isEmpty() && m_document)
                failure = m_reader.recogniseImages(m_images, *m_document);
        }
    }

    void characters(QStringView text) override
    {
        if (!m_inCode || failure != Status::Ok)
            return;
        // Line ends and tabs are the XML's layout, not text on the page.
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c == u'\n' || c == u'\r' || c == u'\t') {
                m_line.append(text.sliced(start, i - start));
                start = i + 1;
            }
        }
        m_line.append(text.sliced(start));
        // A text object is a line of the page, seldom long; one without end is written in parts.
        if (m_line.size() >= kMaxLine)
            writeLine();
    }

    // The first failure of a template page read from inside this part.
    Status failure = Status::Ok;

private:
    enum Layer { Behind, InFront };

    static constexpr qsizetype kMaxLine = qsizetype(1) << 16;

    // The text object's text, read as a reader sees the placed glyphs.
    void writeLine()
    {
        if (m_line.isEmpty())
            return;
        m_reader.sink().append(placedText(m_line));
        m_line.resize(0); // its capacity kept for the next one
    }

    struct Use
    {
        TemplatePage page;
        bool read = false;
    };

    void addTemplate(const QXmlStreamReader &reader)
    {
        const QString id = attribute(reader, "TemplateID"_L1);
        if (!m_document || m_usedIds.contains(id) || m_uses.size() >= 64)
            return; // a template page drawn twice on one page shows nothing more
        const auto found = m_document->templates.constFind(id);
        if (found == m_document->templates.cend())
            return;
        m_usedIds.append(id);
        Use use{*found};
        // The page may draw a template page in another layer than the template page's own.
        const QString zOrder = attribute(reader, "ZOrder"_L1);
        if (!zOrder.isEmpty())
            use.page.zOrder = zOrder;
        m_uses.push_back(use);
    }

    // The layer a template page is drawn in; Background unless said otherwise.
    enum class ZOrder { Background, Body, Foreground };
    static ZOrder zOrderOf(const QString &name)
    {
        if (name.compare(u"Foreground", Qt::CaseInsensitive) == 0)
            return ZOrder::Foreground;
        if (name.compare(u"Body", Qt::CaseInsensitive) == 0)
            return ZOrder::Body;
        return ZOrder::Background;
    }

    // Background template pages first, then Body ones (both behind the page's own text), or the
    // Foreground ones; each in the order the page names them.
    void readTemplates(Layer layer)
    {
        static constexpr ZOrder kBehind[] = {ZOrder::Background, ZOrder::Body};
        static constexpr ZOrder kInFront[] = {ZOrder::Foreground};
        const std::span<const ZOrder> passes(layer == Behind ? std::span<const ZOrder>(kBehind)
                                                             : std::span<const ZOrder>(kInFront));
        for (const ZOrder pass : passes) {
            for (Use &use : m_uses) {
                if (use.read || zOrderOf(use.page.zOrder) != pass)
                    continue;
                use.read = true;
                const QString entry =
                    findOfdEntry(m_reader.package(), m_document->folder, use.page.location);
                if (entry.isEmpty())
                    continue; // a template page that is not there draws nothing
                const Status status =
                    m_reader.readPart(entry, OfdReader::Part::Template, m_document);
                if (status != Status::Ok) {
                    failure = status;
                    return;
                }
            }
        }
    }

    OfdReader &m_reader;
    const OfdReader::Part m_part;
    const DocumentParts *m_document;
    std::vector<Use> m_uses;
    QStringList m_usedIds;
    int m_depth = 0;
    int m_textObjects = 0;
    bool m_inCode = false;
    bool m_ownText = false; // the part itself has a TextObject
    QStringList m_images;   // the resources of the part's ImageObjects, in drawing order
    QString m_line;         // the text of the text object being read
};

Status OfdReader::recogniseImages(const QStringList &resourceIds, const DocumentParts &document)
{
    if (m_mediaOf != &document) {
        m_mediaOf = &document;
        m_media.clear();
        for (const QString &location : document.resources) {
            const QString entry = findOfdEntry(m_package, document.folder, location);
            if (entry.isEmpty())
                continue; // a resource file that is not there gives no image
            ResourceHandler handler;
            const Status status = readXmlPart(m_package, entry, handler, m_sink);
            if (status == Status::Stopped)
                return status;
            const QString folder = folderOf(entry);
            for (auto it = handler.media.cbegin(); it != handler.media.cend(); ++it) {
                const QString media = findOfdEntry(m_package, folder, it.value());
                if (!media.isEmpty())
                    m_media.insert(it.key(), media);
            }
        }
    }
    // An image of a page is decoded whole; larger media are no scan of a page.
    constexpr qint64 kMaxImageBytes = 64 << 20;
    for (const QString &id : resourceIds) {
        const QString entry = m_media.value(id);
        if (entry.isEmpty())
            continue;
        QByteArray bytes;
        const Status status = m_package.readAll(entry, bytes, kMaxImageBytes);
        if (status == Status::Stopped || m_sink.stopRequested())
            return Status::Stopped;
        if (status != Status::Ok)
            continue; // an image that cannot be read shows no text
        if (appendRecognisedText(ocr::decode(bytes), m_sink))
            m_recognised = true;
        if (m_sink.stopRequested())
            return Status::Stopped;
    }
    return Status::Ok;
}

Status OfdReader::readComposite(const QString &id, const DocumentParts &document)
{
    // A unit that draws itself, directly or through others, shows what it drew once.
    if (m_drawnUnits.contains(id) || m_drawnUnits.size() >= 16)
        return Status::Ok;
    m_drawnUnits.append(id);
    Status status = Status::Ok;
    for (const QString &location : document.resources) {
        const QString entry = findOfdEntry(m_package, document.folder, location);
        if (entry.isEmpty())
            continue; // a resource file that is not there draws nothing
        PageHandler unit(*this, Part::Template, &document);
        CompositeUnitFilter filter(id, unit);
        status = readXmlPart(m_package, entry, filter, m_sink);
        if (status == Status::Ok)
            status = unit.failure;
        if (status != Status::Ok)
            break;
    }
    m_drawnUnits.removeLast();
    return status;
}

Status OfdReader::readPart(const QString &entry, Part part, const DocumentParts *document)
{
    PageHandler handler(*this, part, document);
    const Status status = readXmlPart(m_package, entry, handler, m_sink);
    return status == Status::Ok ? handler.failure : status;
}

Status OfdReader::readAnnotationList(const DocumentParts &document,
                                     QHash<QString, QStringList> &files) const
{
    if (document.annotations.isEmpty())
        return Status::Ok;
    const QString entry = findOfdEntry(m_package, document.folder, document.annotations);
    if (entry.isEmpty())
        return Status::Ok; // no annotations to show
    AnnotationListHandler handler;
    const Status status = readXmlPart(m_package, entry, handler, m_sink);
    // Annotation files are named from the list's folder.
    const QString folder = folderOf(entry);
    for (auto it = handler.files.begin(); it != handler.files.end(); ++it) {
        QStringList &locations = it.value();
        QStringList entries;
        for (const QString &location : std::as_const(locations)) {
            const QString found = findOfdEntry(m_package, folder, location);
            if (!found.isEmpty())
                entries.append(found);
        }
        files.insert(it.key(), entries);
    }
    return status;
}

Status OfdReader::readDocument(const QString &entry)
{
    DocumentParts document;
    document.folder = folderOf(entry);
    DocumentHandler handler(document);
    Status status = readXmlPart(m_package, entry, handler, m_sink);
    if (status != Status::Ok)
        return status;
    QHash<QString, QStringList> annotations;
    status = readAnnotationList(document, annotations);
    if (status != Status::Ok)
        return status;
    for (size_t i = 0; i < document.pages.size(); ++i) {
        const PageEntry &page = document.pages[i];
        m_sink.beginPart(int(i), int(document.pages.size()));
        const QString pageEntry = findOfdEntry(m_package, document.folder, page.location);
        if (pageEntry.isEmpty())
            return Status::Missing; // the page's text is lost
        status = readPart(pageEntry, Part::Page, &document);
        if (status != Status::Ok)
            return status;
        for (const QString &annotation : annotations.value(page.id)) {
            status = readPart(annotation, Part::Annotation, nullptr);
            if (status != Status::Ok)
                return status;
        }
        if (m_sink.stopRequested())
            return Status::Stopped;
    }
    return Status::Ok;
}

Outcome OfdReader::read()
{
    // Encrypted parts are listed in Encryptions.xml beside OFD.xml; what is readable without the
    // key stands in for them.
    if (m_package.contains(u"Encryptions.xml"_s))
        return Outcome::Encrypted;
    RootHandler root;
    Status status = readXmlPart(m_package, u"OFD.xml"_s, root, m_sink);
    if (status != Status::Ok)
        return outcomeOf(status);
    if (!root.isOfd)
        return Outcome::Damaged;
    for (const QString &location : std::as_const(root.documentRoots)) {
        const QString entry = findOfdEntry(m_package, QString(), location);
        if (entry.isEmpty())
            return Outcome::Damaged;
        status = readDocument(entry);
        if (status != Status::Ok)
            return outcomeOf(status);
    }
    return !m_sawText && !m_recognised && m_sawImage ? Outcome::NoText : Outcome::Done;
}

} // namespace

Outcome OfdExtractor::extractFrom(const ZipPackage &package, TextSink &sink)
{
    OfdReader reader(package, sink);
    return reader.read();
}

bool hasOfdRoot(QByteArrayView ofdXml)
{
    QXmlStreamReader reader(ofdXml.toByteArray());
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            return reader.name() == u"OFD" && reader.namespaceUri().contains(u"ofdspec.org");
    }
    return false;
}

} // namespace documents
