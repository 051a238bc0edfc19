#include "search/documents/office_open_xml.h"

#include "search/documents/text_sink.h"
#include "search/documents/zip_package.h"

#include <QDir>
#include <QList>
#include <QXmlStreamReader>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

enum class Family { None, Word, Excel, PowerPoint };

// The family whose main part has `contentType`. Binary main parts (.xlsb) do not count: their
// content type does not end with "main+xml".
Family familyOf(QStringView contentType)
{
    if (!contentType.endsWith(u"main+xml"))
        return Family::None;
    if (contentType.contains(u"wordprocessingml") || contentType.contains(u"ms-word"))
        return Family::Word;
    if (contentType.contains(u"spreadsheetml") || contentType.contains(u"ms-excel"))
        return Family::Excel;
    if (contentType.contains(u"presentationml") || contentType.contains(u"ms-powerpoint"))
        return Family::PowerPoint;
    return Family::None;
}

// A package part name as an entry name: without the leading slash.
QString entryOf(QStringView partName)
{
    return (partName.startsWith(u'/') ? partName.mid(1) : partName).toString();
}

// The main part named by [Content_Types].xml, and its family.
Family findMainPart(const QByteArray &contentTypes, QString *mainPart)
{
    QXmlStreamReader reader(contentTypes);
    while (reader.readNextStartElement()) {
        if (reader.name() == u"Types")
            continue;
        if (reader.name() == u"Override") {
            const QXmlStreamAttributes attributes = reader.attributes();
            const Family family = familyOf(attributes.value("ContentType"_L1));
            if (family != Family::None) {
                if (mainPart)
                    *mainPart = entryOf(attributes.value("PartName"_L1));
                return family;
            }
        }
        reader.skipCurrentElement();
    }
    return Family::None;
}

Outcome outcomeOf(Status status)
{
    switch (status) {
    case Status::Ok:
        return Outcome::Done;
    case Status::Stopped:
        return Outcome::Stopped;
    case Status::Encrypted:
        return Outcome::Encrypted;
    case Status::Missing:
    case Status::Damaged:
    case Status::TooLarge:
        break;
    }
    return Outcome::Damaged;
}

struct Relationship
{
    QString id;
    QString type;
    QString target; // entry name inside the package
};

// The relationships of `part` (its _rels/NAME.rels entry), targets resolved against the part's
// folder. A part without relationships has none; external targets are left out.
Status readRelationships(const ZipPackage &package, const QString &part,
                         QList<Relationship> &relationships)
{
    relationships.clear();
    const qsizetype slash = part.lastIndexOf(u'/');
    const QString folder = part.left(slash + 1);
    const QString relsName = folder + u"_rels/" + part.mid(slash + 1) + u".rels";
    QByteArray content;
    const Status status = package.readAll(relsName, content);
    if (status == Status::Missing)
        return Status::Ok;
    if (status != Status::Ok)
        return status;
    QXmlStreamReader reader(content);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.value("TargetMode"_L1) == u"External")
            continue;
        const QStringView target = attributes.value("Target"_L1);
        const QString resolved = target.startsWith(u'/')
                                     ? target.mid(1).toString()
                                     : QDir::cleanPath(folder + target.toString());
        relationships.append(Relationship{attributes.value("Id"_L1).toString(),
                                          attributes.value("Type"_L1).toString(), resolved});
    }
    return reader.hasError() ? Status::Damaged : Status::Ok;
}

QList<QString> targetsOfType(const QList<Relationship> &relationships, QStringView typeSuffix)
{
    QList<QString> targets;
    for (const Relationship &r : relationships) {
        if (r.type.endsWith(typeSuffix))
            targets.append(r.target);
    }
    // header1, header2, header10: by length first, then by name.
    std::sort(targets.begin(), targets.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return targets;
}

QString targetOfId(const QList<Relationship> &relationships, const QString &id)
{
    for (const Relationship &r : relationships) {
        if (r.id == id)
            return r.target;
    }
    return QString();
}

// The value of the relationship id attribute (r:id) of the current element.
QString relationshipId(const QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name() == u"id" && a.namespaceUri().contains(u"relationships"))
            return a.value().toString();
    }
    return QString();
}

bool isMarkupCompatibilityFallback(const QXmlStreamReader &reader)
{
    return reader.name() == u"Fallback" && reader.namespaceUri().contains(u"markup-compatibility");
}

// Counts the depth inside an element whose content is left out.
class Skipper
{
public:
    bool skipping() const { return m_depth > 0; }
    // True when the element that starts now is inside a skipped one.
    bool enter()
    {
        if (m_depth == 0)
            return false;
        ++m_depth;
        return true;
    }
    void skipThis() { m_depth = 1; }
    // True when the element that ends now was inside (or was) a skipped one.
    bool leave()
    {
        if (m_depth == 0)
            return false;
        --m_depth;
        return true;
    }

private:
    int m_depth = 0;
};

// Word's text: w:t runs, w:p a line. Property elements (w:pPr, w:rPr, ...) hold no text and are
// skipped whole; that also keeps the tab stops of w:tabs from counting as tab characters. The
// fallback copy of a text box (mc:Fallback) and text moved away by a tracked change are left out.
class WordHandler : public XmlPartHandler
{
public:
    explicit WordHandler(TextSink &sink) : m_sink(sink) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.enter())
            return;
        const QStringView name = reader.name();
        const QStringView ns = reader.namespaceUri();
        if (isMarkupCompatibilityFallback(reader)) {
            m_skip.skipThis();
            return;
        }
        if (ns.contains(u"/math")) {
            m_inText = name == u"t";
            return;
        }
        if (!ns.contains(u"wordprocessingml"))
            return;
        if (name.endsWith(u"Pr") || name == u"moveFrom") {
            m_skip.skipThis();
        } else if (name == u"t") {
            m_inText = true;
        } else if (name == u"tab" || name == u"ptab") {
            m_sink.append(u'\t');
        } else if (name == u"br" || name == u"cr") {
            m_sink.append(u'\n');
        } else if (name == u"noBreakHyphen") {
            m_sink.append(u'-');
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.leave())
            return;
        const QStringView name = reader.name();
        if (name == u"t")
            m_inText = false;
        else if (name == u"p" && reader.namespaceUri().contains(u"wordprocessingml"))
            m_sink.append(u'\n');
    }
    void characters(QStringView text) override
    {
        if (m_inText && !m_skip.skipping())
            m_sink.append(text);
    }

private:
    TextSink &m_sink;
    Skipper m_skip;
    bool m_inText = false;
};

// The shared strings of a workbook, kept as one string and the start of every item.
class SharedStringsHandler : public XmlPartHandler
{
public:
    // A shared string table this large is no spreadsheet a person made.
    static constexpr qsizetype kMaxCharacters = qsizetype(128) << 20;

    bool tooLarge() const { return m_tooLarge; }
    qsizetype count() const { return m_starts.size(); }
    QStringView item(qsizetype index) const
    {
        const qsizetype end = index + 1 < m_starts.size() ? m_starts[index + 1] : m_text.size();
        return QStringView(m_text).mid(m_starts[index], end - m_starts[index]);
    }

    void startElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.enter())
            return;
        const QStringView name = reader.name();
        // Phonetic guides (rPh) repeat the text in kana; run properties hold no text.
        if (name == u"rPh" || name == u"rPr" || isMarkupCompatibilityFallback(reader))
            m_skip.skipThis();
        else if (name == u"si")
            m_starts.append(m_text.size());
        else if (name == u"t")
            m_inText = !m_starts.isEmpty();
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (!m_skip.leave() && reader.name() == u"t")
            m_inText = false;
    }
    void characters(QStringView text) override
    {
        if (!m_inText || m_skip.skipping())
            return;
        if (m_text.size() + text.size() > kMaxCharacters) {
            m_tooLarge = true;
            return;
        }
        m_text.append(text);
    }

private:
    QString m_text;
    QList<qsizetype> m_starts;
    Skipper m_skip;
    bool m_inText = false;
    bool m_tooLarge = false;
};

// The largest column count of a worksheet (XFD); a cell reference past it is damage.
constexpr qint64 kMaxColumns = 16384;

// The zero-based column of a cell reference such as "AB12", or -1.
qint64 columnOf(QStringView reference)
{
    qint64 column = 0;
    qsizetype i = 0;
    for (; i < reference.size() && reference[i].isUpper(); ++i) {
        column = column * 26 + (reference[i].unicode() - u'A' + 1);
        if (column > kMaxColumns)
            return -1;
    }
    return i == 0 ? -1 : column - 1;
}

// One worksheet: every row with a filled cell a line, cells separated by commas (see
// document_text.h for the quoting). Cells are written as they end, so a long row is never held.
class SheetHandler : public XmlPartHandler
{
public:
    SheetHandler(const SharedStringsHandler &strings, TextSink &sink)
        : m_strings(strings), m_sink(sink)
    {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.enter())
            return;
        const QStringView name = reader.name();
        if (isMarkupCompatibilityFallback(reader) || name == u"f" || name == u"extLst" ||
            name == u"rPh" || name == u"rPr") {
            m_skip.skipThis();
        } else if (name == u"row") {
            m_lastColumn = -1;
            m_lastWritten = -1;
        } else if (name == u"c") {
            const QXmlStreamAttributes attributes = reader.attributes();
            m_type = attributes.value("t"_L1).toString();
            const qint64 column = columnOf(attributes.value("r"_L1));
            m_column = column >= 0 ? column : std::min(m_lastColumn + 1, kMaxColumns - 1);
            m_value.clear();
            m_inline.clear();
        } else if (name == u"v") {
            m_capture = &m_value;
        } else if (name == u"t") {
            m_capture = &m_inline;
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.leave())
            return;
        const QStringView name = reader.name();
        if (name == u"v" || name == u"t") {
            m_capture = nullptr;
        } else if (name == u"c") {
            endCell();
        } else if (name == u"row" && m_lastWritten >= 0) {
            m_sink.append(u'\n');
        }
    }
    void characters(QStringView text) override
    {
        if (m_capture && !m_skip.skipping())
            m_capture->append(text);
    }

private:
    void endCell()
    {
        m_lastColumn = m_column;
        QStringView text = m_value;
        if (m_type == u"s") {
            bool ok = false;
            const qlonglong index = m_value.trimmed().toLongLong(&ok);
            text = ok && index >= 0 && index < m_strings.count() ? m_strings.item(index)
                                                                 : QStringView();
        } else if (m_type == u"inlineStr") {
            text = m_inline;
        }
        if (text.isEmpty())
            return;
        // Empty fields for the empty cells before this one; at least one comma after the
        // previous cell even when the file lists cells out of order.
        const qint64 commas =
            m_lastWritten < 0 ? m_column : std::max<qint64>(1, m_column - m_lastWritten);
        m_cell.fill(u',', qsizetype(commas));
        appendCsvCell(m_cell, text);
        m_sink.append(m_cell);
        m_lastWritten = std::max(m_column, m_lastWritten + 1);
    }

    const SharedStringsHandler &m_strings;
    TextSink &m_sink;
    Skipper m_skip;
    QString m_cell;
    QString m_type;
    QString m_value;
    QString m_inline;
    QString *m_capture = nullptr;
    qint64 m_column = 0;
    qint64 m_lastColumn = -1;
    qint64 m_lastWritten = -1;
};

// The r:id of every child element `element` (sheet, sldId) in document order.
class IdListHandler : public XmlPartHandler
{
public:
    explicit IdListHandler(QStringView element) : m_element(element) {}
    QList<QString> ids;

    void startElement(const QXmlStreamReader &reader) override
    {
        if (reader.name() == m_element)
            ids.append(relationshipId(reader));
    }
    void endElement(const QXmlStreamReader &) override {}
    void characters(QStringView) override {}

private:
    QStringView m_element;
};

// DrawingML text of slides and notes: a:t runs, a:p a line, a:br a line break. Slide number fields
// are left out: they are page furniture, and a notes page repeats its slide's number.
class SlideHandler : public XmlPartHandler
{
public:
    explicit SlideHandler(TextSink &sink) : m_sink(sink) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.enter())
            return;
        if (isMarkupCompatibilityFallback(reader)) {
            m_skip.skipThis();
            return;
        }
        if (!reader.namespaceUri().contains(u"drawingml"))
            return;
        const QStringView name = reader.name();
        if (name.endsWith(u"Pr") ||
            (name == u"fld" && reader.attributes().value("type"_L1) == u"slidenum")) {
            m_skip.skipThis();
        } else if (name == u"t") {
            m_inText = true;
        } else if (name == u"br") {
            m_sink.append(u'\n');
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.leave())
            return;
        const QStringView name = reader.name();
        if (name == u"t")
            m_inText = false;
        else if (name == u"p" && reader.namespaceUri().contains(u"drawingml"))
            m_sink.append(u'\n');
    }
    void characters(QStringView text) override
    {
        if (m_inText && !m_skip.skipping())
            m_sink.append(text);
    }

private:
    TextSink &m_sink;
    Skipper m_skip;
    bool m_inText = false;
};

Outcome readWord(const ZipPackage &package, const QString &mainPart, TextSink &sink)
{
    WordHandler body(sink);
    Status status = readXmlPart(package, mainPart, body, sink);
    if (status != Status::Ok)
        return outcomeOf(status);
    QList<Relationship> relationships;
    status = readRelationships(package, mainPart, relationships);
    if (status != Status::Ok)
        return outcomeOf(status);
    for (const QStringView type :
         {u"/header", u"/footer", u"/footnotes", u"/endnotes", u"/comments"}) {
        for (const QString &part : targetsOfType(relationships, type)) {
            WordHandler handler(sink);
            status = readXmlPart(package, part, handler, sink);
            // A dangling reference to a header or a note costs that part, not the document.
            if (status != Status::Ok && status != Status::Missing)
                return outcomeOf(status);
        }
    }
    return Outcome::Done;
}

Outcome readExcel(const ZipPackage &package, const QString &mainPart, TextSink &sink)
{
    QList<Relationship> relationships;
    Status status = readRelationships(package, mainPart, relationships);
    if (status != Status::Ok)
        return outcomeOf(status);
    IdListHandler sheets(u"sheet");
    status = readXmlPart(package, mainPart, sheets, sink);
    if (status != Status::Ok)
        return outcomeOf(status);

    SharedStringsHandler strings;
    for (const QString &part : targetsOfType(relationships, u"/sharedStrings")) {
        status = readXmlPart(package, part, strings, sink);
        if (status != Status::Ok && status != Status::Missing)
            return outcomeOf(status);
        if (strings.tooLarge())
            return Outcome::Damaged;
    }
    for (const QString &id : sheets.ids) {
        const auto r = std::find_if(relationships.cbegin(), relationships.cend(),
                                    [&](const Relationship &x) { return x.id == id; });
        // Chart sheets and dialog sheets hold no cells.
        if (r == relationships.cend() || !r->type.endsWith(u"/worksheet"))
            continue;
        SheetHandler handler(strings, sink);
        status = readXmlPart(package, r->target, handler, sink);
        if (status != Status::Ok)
            return outcomeOf(status);
    }
    return Outcome::Done;
}

Outcome readPowerPoint(const ZipPackage &package, const QString &mainPart, TextSink &sink)
{
    QList<Relationship> relationships;
    Status status = readRelationships(package, mainPart, relationships);
    if (status != Status::Ok)
        return outcomeOf(status);
    IdListHandler slides(u"sldId");
    status = readXmlPart(package, mainPart, slides, sink);
    if (status != Status::Ok)
        return outcomeOf(status);

    QList<QString> notes;
    for (const QString &id : slides.ids) {
        const QString slide = targetOfId(relationships, id);
        if (slide.isEmpty())
            return Outcome::Damaged;
        SlideHandler handler(sink);
        status = readXmlPart(package, slide, handler, sink);
        if (status != Status::Ok)
            return outcomeOf(status);
        QList<Relationship> slideRelationships;
        status = readRelationships(package, slide, slideRelationships);
        if (status != Status::Ok)
            return outcomeOf(status);
        notes += targetsOfType(slideRelationships, u"/notesSlide");
    }
    for (const QString &part : notes) {
        SlideHandler handler(sink);
        status = readXmlPart(package, part, handler, sink);
        if (status != Status::Ok && status != Status::Missing)
            return outcomeOf(status);
    }
    return Outcome::Done;
}

} // namespace

bool declaresOfficeMainPart(const QByteArray &contentTypes)
{
    return findMainPart(contentTypes, nullptr) != Family::None;
}

Outcome OfficeOpenXmlExtractor::extract(const QString &path, TextSink &sink)
{
    ZipPackage package;
    if (!package.open(path))
        return Outcome::Damaged;
    QByteArray contentTypes;
    const Status status = package.readAll(QStringLiteral("[Content_Types].xml"), contentTypes);
    if (status != Status::Ok)
        return outcomeOf(status);
    QString mainPart;
    switch (findMainPart(contentTypes, &mainPart)) {
    case Family::Word:
        return readWord(package, mainPart, sink);
    case Family::Excel:
        return readExcel(package, mainPart, sink);
    case Family::PowerPoint:
        return readPowerPoint(package, mainPart, sink);
    case Family::None:
        break;
    }
    return Outcome::Damaged;
}

} // namespace documents
