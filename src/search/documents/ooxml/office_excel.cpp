#include "search/documents/ooxml/office_excel.h"

#include "search/cells/cell_formats.h"
#include "search/documents/office_xml_text.h"
#include "search/documents/ooxml/office_relationships.h"
#include "search/documents/text_sink.h"

#include <QList>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

// The shared strings of a workbook, kept as one string and the start of every item.
class SharedStringsHandler : public XmlPartHandler
{
public:
    // A shared string table this large, or one item this long, is no spreadsheet a person made
    // (Excel keeps at most 32,767 characters in a cell): the workbook is damaged. The table is
    // held (cells name its items by number), so these bound what the workbook costs in memory.
    static constexpr qsizetype kMaxCharacters = qsizetype(32) << 20;
    static constexpr qsizetype kMaxItem = qsizetype(1) << 20;

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
        if (m_text.size() + text.size() > kMaxCharacters ||
            m_text.size() - m_starts.last() + text.size() > kMaxItem) {
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

// The number formats of the styles part: the codes it declares (numFmts) and the format of each
// cell style (cellXfs; the xf of cellStyleXfs are styles' own, which no cell names).
class StylesHandler : public XmlPartHandler
{
public:
    explicit StylesHandler(cells::CellFormats &formats) : m_formats(formats) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        const QStringView name = reader.name();
        if (name == u"cellXfs") {
            m_inCellXfs = true;
        } else if (name == u"numFmt") {
            const QXmlStreamAttributes attributes = reader.attributes();
            bool ok = false;
            const int id = attributes.value("numFmtId"_L1).toInt(&ok);
            if (ok)
                m_formats.addFormat(id, attributes.value("formatCode"_L1));
        } else if (name == u"xf" && m_inCellXfs) {
            m_formats.addStyle(reader.attributes().value("numFmtId"_L1).toInt());
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (reader.name() == u"cellXfs")
            m_inCellXfs = false;
    }
    void characters(QStringView) override {}

private:
    cells::CellFormats &m_formats;
    bool m_inCellXfs = false;
};

// The workbook's date system (workbookPr date1904).
class WorkbookPropertiesHandler : public XmlPartHandler
{
public:
    explicit WorkbookPropertiesHandler(cells::CellFormats &formats) : m_formats(formats) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (reader.name() != u"workbookPr")
            return;
        const QStringView flag = reader.attributes().value("date1904"_L1);
        if (flag == u"1" || flag == u"true")
            m_formats.setDateSystem(cells::DateSystem::From1904);
    }
    void endElement(const QXmlStreamReader &) override {}
    void characters(QStringView) override {}

private:
    cells::CellFormats &m_formats;
};

// The number a cell's <v> holds (xsd:double: digits, a point, an exponent; INF and NaN are no
// cell values), read without a locale: every number of a formatted column goes through here.
bool numberOf(QStringView text, double &value)
{
    text = text.trimmed();
    char bytes[64];
    if (text.isEmpty() || text.size() > qsizetype(sizeof bytes))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!((c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'+' || c == u'e' ||
              c == u'E'))
            return false;
        bytes[i] = char(c);
    }
    const char *start = bytes[0] == '+' ? bytes + 1 : bytes;
    const auto [end, error] = std::from_chars(start, bytes + text.size(), value);
    return error == std::errc() && end == bytes + text.size();
}

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
    SheetHandler(const SharedStringsHandler &strings, cells::CellFormats &formats, TextSink &sink)
        : m_strings(strings), m_formats(formats), m_sink(sink)
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
            m_style = attributes.value("s"_L1).toInt();
            const qint64 column = columnOf(attributes.value("r"_L1));
            m_column = column >= 0 ? column : std::min(m_lastColumn + 1, kMaxColumns - 1);
            m_index.clear();
            m_text.clear();
        } else if (name == u"v") {
            m_capture = m_type == u"s"           ? Capture::Index
                        : m_type == u"inlineStr" ? Capture::None
                                                 : Capture::Text;
        } else if (name == u"t") {
            m_capture = m_type == u"inlineStr" ? Capture::Text : Capture::None;
        }
    }
    void endElement(const QXmlStreamReader &reader) override
    {
        if (m_skip.leave())
            return;
        const QStringView name = reader.name();
        if (name == u"v" || name == u"t") {
            m_capture = Capture::None;
        } else if (name == u"c") {
            endCell();
        } else if (name == u"row" && m_lastWritten >= 0) {
            m_sink.append(u'\n');
        }
    }
    void characters(QStringView text) override
    {
        if (m_skip.skipping())
            return;
        if (m_capture == Capture::Text) {
            m_text.append(text, m_sink, [this] { m_sink.append(commas()); });
        } else if (m_capture == Capture::Index && m_index.size() < 64) {
            m_index.append(text); // a number: anything longer names no item
        }
    }

private:
    enum class Capture { None, Index, Text };

    // Empty fields for the empty cells before this one; at least one comma after the previous
    // cell even when the file lists cells out of order.
    QString commas() const
    {
        const qint64 n =
            m_lastWritten < 0 ? m_column : std::max<qint64>(1, m_column - m_lastWritten);
        return QString(qsizetype(n), u',');
    }

    void endCell()
    {
        m_lastColumn = m_column;
        if (m_text.streaming()) {
            m_text.endStreaming(m_sink);
        } else {
            QStringView text = m_text.held();
            if (m_type == u"s") {
                bool ok = false;
                const qlonglong index = m_index.trimmed().toLongLong(&ok);
                text = ok && index >= 0 && index < m_strings.count() ? m_strings.item(index)
                                                                     : QStringView();
            }
            if (text.isEmpty())
                return;
            // A number as its style's format shows it; General keeps the value as written.
            QString shown;
            const cells::NumberFormat *format =
                m_type.isEmpty() || m_type == u"n" ? m_formats.format(m_style) : nullptr;
            double value = 0;
            if (format && numberOf(text, value)) {
                shown = format->format(value, m_formats.dateSystem());
                text = shown;
            }
            m_cell = commas();
            appendCsvCell(m_cell, text);
            m_sink.append(m_cell);
        }
        m_lastWritten = std::max(m_column, m_lastWritten + 1);
    }

    const SharedStringsHandler &m_strings;
    cells::CellFormats &m_formats;
    TextSink &m_sink;
    Skipper m_skip;
    QString m_cell;
    QString m_type;
    QString m_index;    // the number of a shared string
    CsvCellText m_text; // the value of any other cell
    Capture m_capture = Capture::None;
    int m_style = 0; // the cell's style (s), which names its number format
    qint64 m_column = 0;
    qint64 m_lastColumn = -1;
    qint64 m_lastWritten = -1;
};

} // namespace

Outcome readWorkbook(const ZipPackage &package, const QString &mainPart, TextSink &sink)
{
    QList<Relationship> relationships;
    QList<QString> sheets;
    Status status = readPartList(package, mainPart, u"sheet", sink, relationships, sheets);
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
    cells::CellFormats formats;
    WorkbookPropertiesHandler properties(formats);
    status = readXmlPart(package, mainPart, properties, sink);
    if (status != Status::Ok)
        return outcomeOf(status);
    for (const QString &part : targetsOfType(relationships, u"/styles")) {
        StylesHandler styles(formats);
        status = readXmlPart(package, part, styles, sink);
        if (status != Status::Ok && status != Status::Missing)
            return outcomeOf(status);
    }
    for (const QString &id : sheets) {
        const Relationship *r = relationshipOfId(relationships, id);
        // Chart sheets and dialog sheets hold no cells.
        if (!r || !r->type.endsWith(u"/worksheet"))
            continue;
        SheetHandler handler(strings, formats, sink);
        status = readXmlPart(package, r->target, handler, sink);
        if (status != Status::Ok)
            return outcomeOf(status);
    }
    return Outcome::Done;
}

} // namespace documents
