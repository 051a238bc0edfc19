#include "search/documents/ole2/excel97.h"

#include "search/documents/ole2/compound_file.h"
#include "search/documents/text_sink.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace documents {

namespace {

// Record types ([MS-XLS] 2.3).
enum : quint16 {
    kFormula = 0x0006,
    kEof = 0x000A,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kDbCell = 0x00D7,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
    kBof = 0x0809,
};

constexpr quint16 kBiff8 = 0x0600;
constexpr quint16 kWorkbookGlobals = 0x0005;
constexpr quint16 kWorksheet = 0x0010;

struct Record
{
    quint16 type = 0;
    QByteArrayView data;
};

// The records of a workbook stream from a given offset: a 16-bit type, a 16-bit size, the data.
class Records
{
public:
    Records(QByteArrayView stream, qint64 at) : m_stream(stream), m_at(at) {}

    // False at the end of the stream, and at a record that does not fit in it (damaged()).
    bool next(Record &record)
    {
        if (m_at == m_stream.size())
            return false;
        if (!fits(m_stream, m_at, 4) || !fits(m_stream, m_at + 4, u16At(m_stream, m_at + 2))) {
            m_damaged = true;
            return false;
        }
        record.type = u16At(m_stream, m_at);
        record.data = m_stream.sliced(m_at + 4, u16At(m_stream, m_at + 2));
        m_at += 4 + record.data.size();
        return true;
    }

    // The data of the CONTINUE records that follow, taken from the sequence.
    QList<QByteArrayView> continuations()
    {
        QList<QByteArrayView> parts;
        while (fits(m_stream, m_at, 4) && u16At(m_stream, m_at) == kContinue) {
            Record record;
            if (!next(record))
                break;
            parts.append(record.data);
        }
        return parts;
    }

    bool damaged() const { return m_damaged; }

private:
    QByteArrayView m_stream;
    qint64 m_at;
    bool m_damaged = false;
};

// A record's data and its CONTINUE records read as one, with the rule for strings split between
// them ([MS-XLS] 2.1.4): the characters go on in the next record after one byte that gives their
// width again (fHighByte), whatever the width before.
class ContinuedData
{
public:
    explicit ContinuedData(QList<QByteArrayView> parts) : m_parts(std::move(parts)) {}

    bool atEnd()
    {
        while (m_part < m_parts.size() && m_at == m_parts[m_part].size()) {
            ++m_part;
            m_at = 0;
        }
        return m_part == m_parts.size();
    }

    // `size` bytes into `out` (or passed over when `out` is null), across record boundaries.
    bool bytes(qsizetype size, quint8 *out)
    {
        while (size > 0) {
            if (atEnd())
                return false;
            const QByteArrayView part = m_parts[m_part];
            const qsizetype n = std::min(size, part.size() - m_at);
            if (out) {
                std::memcpy(out, part.data() + m_at, size_t(n));
                out += n;
            }
            m_at += n;
            size -= n;
        }
        return true;
    }
    bool u8(quint8 &value) { return bytes(1, &value); }
    bool u16(quint16 &value)
    {
        quint8 b[2];
        if (!bytes(2, b))
            return false;
        value = quint16(b[0] | b[1] << 8);
        return true;
    }
    bool u32(quint32 &value)
    {
        quint8 b[4];
        if (!bytes(4, b))
            return false;
        value = quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
        return true;
    }

    // `count` characters, 16-bit when `wide`, else the low bytes of 16-bit characters.
    bool characters(qsizetype count, bool wide, QString &out)
    {
        while (count > 0) {
            if (m_part < m_parts.size() && m_at == m_parts[m_part].size()) {
                quint8 flags = 0;
                if (atEnd() || !u8(flags))
                    return false;
                wide = flags & 0x01;
            }
            if (m_part == m_parts.size())
                return false;
            const QByteArrayView part = m_parts[m_part];
            const qsizetype width = wide ? 2 : 1;
            const qsizetype n = std::min(count, (part.size() - m_at) / width);
            if (n == 0) { // half a character at the end of a record
                m_at = part.size();
                continue;
            }
            for (qsizetype i = 0; i < n; ++i, m_at += width)
                out.append(QChar(wide ? u16At(part, m_at) : u8At(part, m_at)));
            count -= n;
        }
        return true;
    }

    // An XLUnicodeString (16-bit count), or XLUnicodeRichExtendedString with `rich`: formatting
    // runs and phonetic data follow the characters and are passed over.
    bool unicodeString(QString &out, bool rich)
    {
        quint16 count = 0;
        quint8 flags = 0;
        if (!u16(count) || !u8(flags))
            return false;
        quint16 runs = 0;
        quint32 extended = 0;
        if (rich && (flags & 0x08) && !u16(runs))
            return false;
        if (rich && (flags & 0x04) && !u32(extended))
            return false;
        return characters(count, flags & 0x01, out) && bytes(4 * qsizetype(runs), nullptr) &&
               bytes(qsizetype(extended), nullptr);
    }

private:
    QList<QByteArrayView> m_parts;
    qsizetype m_part = 0;
    qsizetype m_at = 0;
};

// The decoder of the 8-bit strings of BIFF5 for the workbook's CODEPAGE record.
QStringDecoder decoderFor(quint16 codePage)
{
    QByteArray name;
    switch (codePage) {
    case 932:
        name = "Shift_JIS";
        break;
    case 936:
        name = "GBK";
        break;
    case 949:
        name = "EUC-KR";
        break;
    case 950:
        name = "Big5";
        break;
    case 10000:
    case 32768:
        name = "macintosh";
        break;
    default:
        name = codePage == 874 || (codePage >= 1250 && codePage <= 1258)
                   ? "windows-" + QByteArray::number(codePage)
                   : QByteArray("windows-1252");
        break;
    }
    QStringDecoder decoder(name.constData());
    return decoder.isValid() ? std::move(decoder) : QStringDecoder(QStringDecoder::Latin1);
}

// The error values of BErr ([MS-XLS] 2.5.10).
QString errorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return u"#NULL!"_s;
    case 0x07:
        return u"#DIV/0!"_s;
    case 0x0F:
        return u"#VALUE!"_s;
    case 0x17:
        return u"#REF!"_s;
    case 0x1D:
        return u"#NAME?"_s;
    case 0x24:
        return u"#NUM!"_s;
    case 0x2A:
        return u"#N/A"_s;
    default:
        return QString();
    }
}

// A boolean as the CSV export writes a boolean cell's value.
QString booleanText(quint8 value)
{
    return value ? u"1"_s : u"0"_s;
}

// An RK number ([MS-XLS] 2.5.217): a 30-bit integer or the high bits of a double, maybe / 100.
double rkValue(quint32 rk)
{
    double value;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return rk & 0x01 ? value / 100 : value;
}

// The cells of one worksheet, written a row a line. Cells are collected per block of rows (the
// records of a block end with DBCELL) and sorted there, since a row's cells need not come in
// column order; a block that grows past any reasonable size is written as it stands.
class SheetWriter
{
public:
    explicit SheetWriter(TextSink &sink) : m_sink(sink) {}

    void add(quint32 row, quint16 column, QStringView text)
    {
        if (text.isEmpty())
            return;
        m_cells.append({row, column, m_cells.size(), m_text.size(), text.size()});
        m_text.append(text);
        if (m_cells.size() > (1 << 16) || m_text.size() > (1 << 22))
            flush();
    }

    void flush()
    {
        std::sort(m_cells.begin(), m_cells.end(), [](const Cell &a, const Cell &b) {
            return std::tie(a.row, a.column, a.order) < std::tie(b.row, b.column, b.order);
        });
        QString line;
        qint64 lastColumn = -1;
        for (qsizetype i = 0; i < m_cells.size(); ++i) {
            const Cell &cell = m_cells[i];
            // A cell written twice counts as its last record.
            const bool overwritten = i + 1 < m_cells.size() && m_cells[i + 1].row == cell.row &&
                                     m_cells[i + 1].column == cell.column;
            if (!overwritten) {
                line.append(QString(lastColumn < 0 ? cell.column : cell.column - lastColumn, u','));
                appendCsvCell(line, QStringView(m_text).mid(cell.start, cell.length));
                lastColumn = cell.column;
            }
            if (i + 1 == m_cells.size() || m_cells[i + 1].row != cell.row) {
                line.append(u'\n');
                m_sink.append(line);
                line.clear();
                lastColumn = -1;
            }
        }
        m_cells.clear();
        m_text.clear();
    }

private:
    struct Cell
    {
        quint32 row;
        quint16 column;
        qsizetype order;
        qsizetype start;
        qsizetype length;
    };

    TextSink &m_sink;
    QList<Cell> m_cells;
    QString m_text;
};

class WorkbookReader
{
public:
    WorkbookReader(QByteArrayView stream, TextSink &sink) : m_stream(stream), m_sink(sink) {}

    Outcome read()
    {
        QList<qint64> sheets;
        const Outcome globals = readGlobals(sheets);
        if (globals != Outcome::Done)
            return globals;
        for (const qint64 at : sheets) {
            const Outcome sheet = readSheet(at);
            if (sheet != Outcome::Done)
                return sheet;
        }
        return Outcome::Done;
    }

private:
    // The workbook globals: the sheet list, the shared strings, the code page, the password.
    Outcome readGlobals(QList<qint64> &sheets)
    {
        Records records(m_stream, 0);
        Record record;
        if (!records.next(record) || record.type != kBof || record.data.size() < 4 ||
            u16At(record.data, 2) != kWorkbookGlobals)
            return Outcome::Damaged;
        m_biff8 = u16At(record.data, 0) == kBiff8;
        while (records.next(record)) {
            switch (record.type) {
            case kEof:
                return Outcome::Done;
            case kFilePass:
                return Outcome::Encrypted;
            case kCodePage:
                if (record.data.size() >= 2)
                    m_decoder = decoderFor(u16At(record.data, 0));
                break;
            case kBoundSheet:
                // Worksheets only (dt 0): chart sheets, macro sheets and modules hold no cells.
                if (record.data.size() >= 6 && u8At(record.data, 5) == 0)
                    sheets.append(u32At(record.data, 0));
                break;
            case kSst:
                if (!readSharedStrings(record.data, records.continuations()))
                    return Outcome::Damaged;
                break;
            default:
                break;
            }
        }
        return Outcome::Damaged;
    }

    // SST ([MS-XLS] 2.4.265): two counts, then the strings, continued over CONTINUE records.
    bool readSharedStrings(QByteArrayView first, QList<QByteArrayView> continuations)
    {
        continuations.prepend(first);
        ContinuedData data(std::move(continuations));
        quint32 total = 0;
        quint32 unique = 0;
        if (!data.u32(total) || !data.u32(unique))
            return false;
        // The count is only a claim: every string takes at least three bytes.
        m_starts.reserve(std::min<qsizetype>(unique, first.size() / 3 + 1));
        while (quint32(m_starts.size()) < unique && !data.atEnd()) {
            m_starts.append(m_strings.size());
            if (!data.unicodeString(m_strings, true))
                return false;
        }
        return true;
    }

    QStringView sharedString(quint32 index) const
    {
        if (index >= quint32(m_starts.size()))
            return QStringView();
        const qsizetype end =
            index + 1 < quint32(m_starts.size()) ? m_starts[index + 1] : m_strings.size();
        return QStringView(m_strings).mid(m_starts[index], end - m_starts[index]);
    }

    // A string of a LABEL or STRING record: XLUnicodeString in BIFF8, 8-bit in the code page with
    // a 16-bit count in BIFF5.
    QString cellString(QList<QByteArrayView> parts)
    {
        QString text;
        if (m_biff8) {
            ContinuedData(std::move(parts)).unicodeString(text, false);
        } else if (parts[0].size() >= 2) {
            const QByteArrayView bytes = parts[0].sliced(2);
            text = m_decoder.decode(
                bytes.first(std::min<qsizetype>(bytes.size(), u16At(parts[0], 0))));
        }
        return text;
    }

    Outcome readSheet(qint64 at)
    {
        if (at < 0 || at >= m_stream.size())
            return Outcome::Damaged;
        Records records(m_stream, at);
        Record record;
        if (!records.next(record) || record.type != kBof || record.data.size() < 4)
            return Outcome::Damaged;
        if (u16At(record.data, 2) != kWorksheet)
            return Outcome::Done;
        SheetWriter sheet(m_sink);
        int depth = 1; // charts embedded in the sheet are substreams of their own
        qint64 pendingRow = -1;
        quint16 pendingColumn = 0;
        qint64 count = 0;
        while (records.next(record)) {
            if (++count % 4096 == 0 && m_sink.stopRequested())
                return Outcome::Stopped;
            const QByteArrayView d = record.data;
            if (record.type == kBof) {
                ++depth;
                continue;
            }
            if (record.type == kEof) {
                if (--depth == 0)
                    break;
                continue;
            }
            if (depth > 1)
                continue;
            const quint16 row = d.size() >= 4 ? u16At(d, 0) : 0;
            const quint16 column = d.size() >= 4 ? u16At(d, 2) : 0;
            switch (record.type) {
            case kLabelSst:
                if (d.size() >= 10)
                    sheet.add(row, column, sharedString(u32At(d, 6)));
                break;
            case kLabel:
            case kRString:
                if (d.size() >= 8)
                    sheet.add(row, column, cellString({d.sliced(6)}));
                break;
            case kNumber:
                if (d.size() >= 14)
                    sheet.add(row, column, generalNumberText(f64At(d, 6)));
                break;
            case kRk:
                if (d.size() >= 10)
                    sheet.add(row, column, generalNumberText(rkValue(u32At(d, 6))));
                break;
            case kMulRk:
                for (qsizetype i = 0; 4 + 6 * (i + 1) + 2 <= d.size(); ++i)
                    sheet.add(row, quint16(column + i),
                              generalNumberText(rkValue(u32At(d, 4 + 6 * i + 2))));
                break;
            case kBoolErr:
                if (d.size() >= 8)
                    sheet.add(row, column,
                              u8At(d, 7) ? errorText(u8At(d, 6)) : booleanText(u8At(d, 6)));
                break;
            case kFormula:
                if (d.size() >= 14) {
                    // The cached result: a double, or a tagged value with 0xFFFF on top.
                    pendingRow = -1;
                    if (u16At(d, 12) != 0xFFFF) {
                        sheet.add(row, column, generalNumberText(f64At(d, 6)));
                    } else if (u8At(d, 6) == 0) { // a string, in the STRING record that follows
                        pendingRow = row;
                        pendingColumn = column;
                    } else if (u8At(d, 6) == 1) {
                        sheet.add(row, column, booleanText(u8At(d, 8)));
                    } else if (u8At(d, 6) == 2) {
                        sheet.add(row, column, errorText(u8At(d, 8)));
                    }
                }
                break;
            case kString:
                if (pendingRow >= 0) {
                    QList<QByteArrayView> parts = records.continuations();
                    parts.prepend(d);
                    sheet.add(quint32(pendingRow), pendingColumn, cellString(parts));
                    pendingRow = -1;
                }
                break;
            case kDbCell:
                sheet.flush();
                break;
            default:
                break;
            }
        }
        sheet.flush();
        return depth == 0 && !records.damaged() ? Outcome::Done : Outcome::Damaged;
    }

    QByteArrayView m_stream;
    TextSink &m_sink;
    bool m_biff8 = true;
    QStringDecoder m_decoder{QStringDecoder::Latin1};
    QString m_strings;
    QList<qsizetype> m_starts;
};

} // namespace

QString generalNumberText(double value)
{
    if (value == 0)
        return u"0"_s;
    if (!std::isfinite(value))
        return u"#NUM!"_s;
    // 15 significant digits, as d.dddddddddddddde+xx. Where rounding to them leaves the range of
    // normal numbers (the largest numbers, subnormal ones), the shortest digits that read back
    // as the value instead.
    char digits[40];
    std::snprintf(digits, sizeof digits, "%.14e", value);
    const double rounded = std::strtod(digits, nullptr);
    if (!std::isfinite(rounded) || std::fabs(value) < DBL_MIN) {
        for (int precision = 0; precision < 17; ++precision) {
            std::snprintf(digits, sizeof digits, "%.*e", precision, value);
            if (std::strtod(digits, nullptr) == value)
                break;
        }
    }
    char *exponentAt = std::strchr(digits, 'e');
    const int exponent = std::atoi(exponentAt + 1);
    const auto withoutTrailingZeros = [](QString text) {
        if (text.contains(u'.')) {
            while (text.endsWith(u'0'))
                text.chop(1);
            if (text.endsWith(u'.'))
                text.chop(1);
        }
        return text;
    };
    if (std::fabs(rounded) > 1e15 || exponent < -14) {
        const QString mantissa =
            withoutTrailingZeros(QString::fromLatin1(digits, exponentAt - digits));
        return mantissa + u'E' + (exponent < 0 ? u'-' : u'+') +
               QString::number(std::abs(exponent)).rightJustified(3, u'0');
    }
    // Fixed notation with the digits that are significant, never more than 20 decimals. The
    // integer part is written whole, also past 15 digits.
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%.*f", std::clamp(14 - exponent, 0, 20), value);
    return withoutTrailingZeros(QString::fromLatin1(fixed));
}

Outcome Excel97Extractor::extract(const Source &source, TextSink &sink)
{
    CompoundFile file;
    if (!file.open(source))
        return Outcome::Damaged;
    QByteArray stream;
    CompoundFile::Status status = file.read("Workbook", stream);
    if (status == CompoundFile::Status::Missing)
        status = file.read("Book", stream);
    if (status == CompoundFile::Status::Missing || status == CompoundFile::Status::TooLarge)
        return Outcome::Damaged;
    // A stream cut short still gives the sheets before the cut.
    const Outcome outcome = WorkbookReader(stream, sink).read();
    return status == CompoundFile::Status::Damaged && outcome == Outcome::Done ? Outcome::Damaged
                                                                               : outcome;
}

} // namespace documents
