#include "search/documents/ole2/excel97_sheet.h"

#include "search/cells/general_number.h"
#include "search/documents/ole2/biff_records.h"
#include "search/documents/ole2/compound_file.h"
#include "search/documents/ole2/excel97_values.h"
#include "search/documents/text_sink.h"

#include <algorithm>

namespace documents {

namespace {

// Cell record types ([MS-XLS] 2.3).
enum : quint16 {
    kFormula = 0x0006,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kDbCell = 0x00D7,
    kLabelSst = 0x00FD,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
};

constexpr quint16 kWorksheet = 0x0010;

} // namespace

QStringView WorkbookStrings::shared(quint32 index) const
{
    if (index >= quint32(starts.size()))
        return QStringView();
    const qsizetype end = index + 1 < quint32(starts.size()) ? starts[index + 1] : text.size();
    return QStringView(text).mid(starts[index], end - starts[index]);
}

QString WorkbookStrings::cellString(QList<QByteArrayView> parts)
{
    QString out;
    if (biff8) {
        biff::ContinuedData(std::move(parts)).unicodeString(out, false);
    } else if (parts[0].size() >= 2) {
        const QByteArrayView bytes = parts[0].sliced(2);
        out = decoder.decode(bytes.first(std::min<qsizetype>(bytes.size(), le16(parts[0], 0))));
    }
    return out;
}

void SheetWriter::add(quint32 row, quint16 column, QStringView text)
{
    if (text.isEmpty())
        return;
    m_cells.append({row, column, m_cells.size(), m_text.size(), text.size()});
    m_text.append(text);
    if (m_cells.size() > (1 << 16) || m_text.size() > (1 << 22))
        flush();
}

void SheetWriter::flush()
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

Outcome readWorksheet(QByteArrayView stream, qint64 at, WorkbookStrings &strings,
                      cells::CellFormats &formats, TextSink &sink)
{
    const auto number = [&formats](quint16 style, double value) {
        QString text = formats.text(style, value);
        return text.isNull() ? cells::generalNumberText(value) : text;
    };
    biff::Records records(stream, at);
    biff::Record record;
    if (!records.next(record) || record.type != biff::kBof || record.data.size() < 4)
        return Outcome::Damaged;
    if (le16(record.data, 2) != kWorksheet)
        return Outcome::Done;
    SheetWriter sheet(sink);
    int depth = 1; // charts embedded in the sheet are substreams of their own
    qint64 pendingRow = -1;
    quint16 pendingColumn = 0;
    qint64 count = 0;
    while (records.next(record)) {
        if (++count % 4096 == 0 && sink.stopRequested())
            return Outcome::Stopped;
        const QByteArrayView d = record.data;
        if (record.type == biff::kBof) {
            ++depth;
            continue;
        }
        if (record.type == biff::kEof) {
            if (--depth == 0)
                break;
            continue;
        }
        if (depth > 1)
            continue;
        const quint16 row = d.size() >= 4 ? le16(d, 0) : 0;
        const quint16 column = d.size() >= 4 ? le16(d, 2) : 0;
        switch (record.type) {
        case kLabelSst:
            if (d.size() >= 10)
                sheet.add(row, column, strings.shared(le32(d, 6)));
            break;
        case kLabel:
        case kRString:
            if (d.size() >= 8)
                sheet.add(row, column, strings.cellString({d.sliced(6)}));
            break;
        case kNumber:
            if (d.size() >= 14)
                sheet.add(row, column, number(le16(d, 4), leDouble(d, 6)));
            break;
        case kRk:
            if (d.size() >= 10)
                sheet.add(row, column, number(le16(d, 4), rkValue(le32(d, 6))));
            break;
        case kMulRk:
            for (qsizetype i = 0; 4 + 6 * (i + 1) + 2 <= d.size(); ++i)
                sheet.add(row, quint16(column + i),
                          number(le16(d, 4 + 6 * i), rkValue(le32(d, 4 + 6 * i + 2))));
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
                if (le16(d, 12) != 0xFFFF) {
                    sheet.add(row, column, number(le16(d, 4), leDouble(d, 6)));
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
                sheet.add(quint32(pendingRow), pendingColumn, strings.cellString(parts));
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

} // namespace documents
