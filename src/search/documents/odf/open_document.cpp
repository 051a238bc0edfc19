#include "search/documents/odf/open_document.h"

#include "search/documents/odf/presentation_footers.h"
#include "search/documents/text_sink.h"
#include "search/documents/zip_package.h"

#include <QXmlStreamReader>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

using Status = ZipPackage::Status;

constexpr QLatin1StringView kText("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
constexpr QLatin1StringView kTable("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
constexpr QLatin1StringView kOffice("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
constexpr QLatin1StringView kPresentation("urn:oasis:names:tc:opendocument:xmlns:presentation:1.0");
constexpr QLatin1StringView kStyle("urn:oasis:names:tc:opendocument:xmlns:style:1.0");

// The largest sheet LibreOffice makes; repeat counts beyond it are not real cells.
constexpr qint64 kMaxColumns = 16384;
constexpr qint64 kMaxRows = 1 << 20;

// Repeated cells are written out while their row is shorter than this, repeated rows while their
// copies are shorter than kMaxRepeatedText: a few repeat counts in a small file must not make
// gigabytes of text.
constexpr qsizetype kMaxRowText = qsizetype(16) << 20;
constexpr qsizetype kMaxRepeatedText = qsizetype(64) << 20;

// A row is held (for its repeat count) up to this many characters. A longer one, or one with a
// cell too long to hold (CsvCellText), is handed out as it is read and written once, whatever its
// repeat count; its cells' repeat counts still apply up to kMaxRowText.
constexpr qsizetype kMaxHeldRow = qsizetype(1) << 20;

// A run of blanks stored as a count (text:s) is written out up to this many.
constexpr int kMaxSpaces = 1024;

// Notes and comments waiting for the end of their paragraph are kept up to this many characters.
constexpr qsizetype kMaxAside = 1 << 20;

qint64 repeatCount(const QXmlStreamReader &reader, QLatin1StringView attribute, qint64 max)
{
    bool ok = false;
    const qint64 n = reader.attributes().value(kTable, attribute).toLongLong(&ok);
    return ok && n > 0 ? std::min(n, max) : 1;
}

class ContentHandler : public XmlPartHandler
{
public:
    // Which text a pass writes: the document, the speaker notes only, or the page styles'
    // headers and footers only.
    enum class Pass { Document, Notes, HeadersFooters };

    ContentHandler(TextSink &sink, Pass pass) : m_sink(sink), m_pass(pass) {}

    void startElement(const QXmlStreamReader &reader) override
    {
        if (m_skip > 0) {
            ++m_skip;
            return;
        }
        const QStringView ns = reader.namespaceUri();
        const QStringView name = reader.name();
        if (ns == kText) {
            startText(reader, name);
        } else if (ns == kTable) {
            startTable(reader, name);
        } else if (ns == kOffice) {
            if (name == u"spreadsheet") {
                m_spreadsheet = true;
            } else if (name == u"annotation") {
                ++m_aside;
            }
        } else if (ns == kPresentation && name == u"notes") {
            if (m_pass == Pass::Notes)
                ++m_wanted;
            else
                m_skip = 1;
        } else if (ns == kStyle && m_pass == Pass::HeadersFooters &&
                   (name.startsWith(u"header") || name.startsWith(u"footer"))) {
            ++m_wanted;
        } else if (ns.endsWith(u"svg-compatible:1.0") && (name == u"title" || name == u"desc")) {
            m_skip = 1; // descriptions of pictures, not text on the page
        }
    }

    void endElement(const QXmlStreamReader &reader) override
    {
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        const QStringView ns = reader.namespaceUri();
        const QStringView name = reader.name();
        if (ns == kText) {
            if (name == u"p" || name == u"h") {
                endParagraph();
            } else if (name == u"note") {
                --m_aside;
            }
        } else if (ns == kTable && m_spreadsheet) {
            if (name == u"table-cell" || name == u"covered-table-cell")
                endCell();
            else if (name == u"table-row")
                endRow();
        } else if (ns == kOffice) {
            if (name == u"annotation")
                --m_aside;
            else if (name == u"spreadsheet")
                m_spreadsheet = false;
        } else if ((ns == kPresentation && name == u"notes") ||
                   (ns == kStyle && (name.startsWith(u"header") || name.startsWith(u"footer")))) {
            if (m_wanted > 0)
                --m_wanted;
        }
    }

    void characters(QStringView text) override
    {
        if (m_paragraphDepth > 0 && m_skip == 0)
            write(text);
    }

private:
    bool writing() const { return m_pass == Pass::Document || m_wanted > 0; }

    void startText(const QXmlStreamReader &reader, QStringView name)
    {
        if (name == u"p" || name == u"h") {
            // The paragraphs of one spreadsheet cell are lines inside the cell.
            if (m_inCell && m_aside == 0 && m_paragraphDepth == 0 && m_cellParagraphs > 0)
                write(u"\n");
            ++m_paragraphDepth;
        } else if (name == u"s") {
            bool ok = false;
            const int count = reader.attributes().value(kText, "c"_L1).toInt(&ok);
            write(QString(ok && count > 0 ? std::min(count, kMaxSpaces) : 1, u' '));
        } else if (name == u"tab") {
            write(u"\t");
        } else if (name == u"line-break") {
            write(u"\n");
        } else if (name == u"note") {
            ++m_aside;
        } else if (name == u"note-citation" || name == u"tracked-changes" ||
                   name == u"sequence-decls" || name == u"variable-decls" ||
                   name == u"user-field-decls") {
            m_skip = 1;
        }
    }

    void startTable(const QXmlStreamReader &reader, QStringView name)
    {
        if (!m_spreadsheet)
            return;
        if (name == u"table-row") {
            m_row.clear();
            m_rowWritten = 0;
            m_rowStreamed = false;
            m_rowRepeat = repeatCount(reader, "number-rows-repeated"_L1, kMaxRows);
            m_columns = 0;
            m_pendingEmpty = 0;
            m_rowHasCell = false;
        } else if (name == u"table-cell" || name == u"covered-table-cell") {
            m_cell.clear();
            m_inCell = true;
            m_cellParagraphs = 0;
            m_cellRepeat = repeatCount(reader, "number-columns-repeated"_L1, kMaxColumns);
        } else if (name == u"shapes") {
            m_skip = 1; // drawings placed over the sheet, not cell text
        }
    }

    // Where text goes: the cell being read, the notes and comments waiting for the end of their
    // paragraph, or the output.
    void write(QStringView text)
    {
        if (!writing())
            return;
        if (m_aside > 0) {
            if (m_asideText.size() + text.size() <= kMaxAside)
                m_asideText.append(text);
        } else if (m_inCell) {
            m_cell.append(text, m_sink, [this] {
                flushRow();
                if (m_rowHasCell || m_pendingEmpty > 0)
                    m_sink.append(
                        QString(qsizetype(m_pendingEmpty + (m_rowHasCell ? 1 : 0)), u','));
                m_pendingEmpty = 0;
            });
        } else {
            m_sink.append(text);
        }
    }

    void endParagraph()
    {
        --m_paragraphDepth;
        if (m_aside > 0) {
            write(u"\n");
            return;
        }
        if (m_inCell) {
            if (m_paragraphDepth == 0)
                ++m_cellParagraphs;
            return;
        }
        write(u"\n");
        if (m_paragraphDepth == 0 && !m_asideText.isEmpty()) {
            m_sink.append(m_asideText);
            m_asideText.clear();
        }
    }

    // Hands out the row read so far; the row is then written once.
    void flushRow()
    {
        m_sink.append(m_row);
        m_rowWritten += m_row.size();
        m_row.clear();
        m_rowStreamed = true;
    }

    void endCell()
    {
        m_inCell = false;
        const qint64 repeat = std::min(m_cellRepeat, kMaxColumns - m_columns);
        if (m_cell.streaming()) {
            m_cell.endStreaming(m_sink);
            m_rowHasCell = true;
        } else if (m_cell.isEmpty()) {
            m_pendingEmpty += repeat;
        } else {
            for (qint64 i = 0; i < repeat && (i == 0 || m_rowWritten + m_row.size() < kMaxRowText);
                 ++i) {
                if (m_rowHasCell || m_pendingEmpty > 0)
                    m_row.append(QString(qsizetype(m_pendingEmpty + (m_rowHasCell ? 1 : 0)), u','));
                m_pendingEmpty = 0;
                appendCsvCell(m_row, m_cell.held());
                m_rowHasCell = true;
                if (m_row.size() > kMaxHeldRow)
                    flushRow();
            }
        }
        m_columns += repeat;
        if (!m_asideText.isEmpty()) {
            // A comment on a cell is no cell text; it follows the row.
            m_rowAside += m_asideText;
            m_asideText.clear();
        }
    }

    void endRow()
    {
        if (m_rowHasCell) {
            m_row.append(u'\n');
            const qint64 copies =
                m_rowStreamed ? 1
                              : std::clamp<qint64>(kMaxRepeatedText / m_row.size(), 1, m_rowRepeat);
            for (qint64 i = 0; i < copies && !m_sink.stopRequested(); ++i)
                m_sink.append(m_row);
        }
        if (!m_rowAside.isEmpty()) {
            m_sink.append(m_rowAside);
            m_rowAside.clear();
        }
    }

    TextSink &m_sink;
    const Pass m_pass;
    int m_skip = 0;
    int m_wanted = 0;         // depth inside elements this pass writes (notes, headers, footers)
    int m_paragraphDepth = 0; // paragraphs nest: a text box anchored in a paragraph
    int m_aside = 0;          // depth inside notes and comments
    QString m_asideText;
    bool m_spreadsheet = false;
    // The spreadsheet row being read.
    QString m_row;
    QString m_rowAside;
    qsizetype m_rowWritten = 0; // characters of the row already handed out
    bool m_rowStreamed = false;
    qint64 m_rowRepeat = 1;
    qint64 m_columns = 0;
    qint64 m_pendingEmpty = 0;
    bool m_rowHasCell = false;
    // The spreadsheet cell being read.
    CsvCellText m_cell;
    int m_cellParagraphs = 0;
    qint64 m_cellRepeat = 1;
    bool m_inCell = false;
};

// True when the manifest says content.xml is encrypted (an OpenDocument file saved with a
// password keeps the entry names readable and encrypts the parts).
bool contentIsEncrypted(const ZipPackage &package)
{
    QByteArray manifest;
    if (package.readAll(QStringLiteral("META-INF/manifest.xml"), manifest) != Status::Ok)
        return false;
    QXmlStreamReader reader(manifest);
    bool inContent = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (reader.name() == u"file-entry") {
                const QXmlStreamAttributes attributes = reader.attributes();
                inContent = std::any_of(attributes.begin(), attributes.end(), [](const auto &a) {
                    return a.name() == u"full-path" && a.value() == u"content.xml";
                });
            } else if (inContent && reader.name() == u"encryption-data") {
                return true;
            }
        }
    }
    return false;
}

} // namespace

Outcome OpenDocumentExtractor::extractFrom(const ZipPackage &package, TextSink &sink)
{
    const QString content = QStringLiteral("content.xml");
    ContentHandler document(sink, ContentHandler::Pass::Document);
    Status status = readXmlPart(package, content, document, sink);
    if (status == Status::Damaged && contentIsEncrypted(package))
        return Outcome::Encrypted;
    if (status != Status::Ok)
        return outcomeOf(status);

    QByteArray mimetype;
    package.readAll(QStringLiteral("mimetype"), mimetype, 256);
    if (mimetype.contains("presentation") || mimetype.contains("graphics")) {
        status = writePresentationFooters(package, sink);
        if (status != Status::Ok)
            return outcomeOf(status);
        ContentHandler notes(sink, ContentHandler::Pass::Notes);
        status = readXmlPart(package, content, notes, sink);
    } else if (mimetype.contains("opendocument.text")) {
        ContentHandler headers(sink, ContentHandler::Pass::HeadersFooters);
        status = readXmlPart(package, QStringLiteral("styles.xml"), headers, sink);
        if (status == Status::Missing)
            status = Status::Ok;
    }
    return outcomeOf(status);
}

} // namespace documents
