#pragma once

#include "search/cells/cell_formats.h"
#include "search/documents/document_text.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringDecoder>

namespace documents {

class TextSink;

// What the cells of a workbook's sheets take from its globals: the shared strings (SST) and how
// the strings of cell records are stored.
struct WorkbookStrings
{
    bool biff8 = true; // else BIFF5: 8-bit strings in the code page of `decoder`
    QStringDecoder decoder{QStringDecoder::Latin1};
    QString text;            // the shared strings one after the other
    QList<qsizetype> starts; // where each begins in `text`

    QStringView shared(quint32 index) const;
    // A string of a LABEL or STRING record (with the data of its CONTINUE records after the
    // first part): XLUnicodeString in BIFF8, 8-bit with a 16-bit count in BIFF5.
    QString cellString(QList<QByteArrayView> parts);
};

// The cells of one worksheet, written a row a line. Cells are collected per block of rows (the
// records of a block end with DBCELL) and sorted there, since a row's cells need not come in
// column order; a block that grows past any reasonable size is written as it stands.
class SheetWriter
{
public:
    explicit SheetWriter(TextSink &sink) : m_sink(sink) {}

    void add(quint32 row, quint16 column, QStringView text);
    void flush();

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

// The cells of the worksheet substream at `at` (a BOF record there), charts embedded in it left
// out; numbers as the format of their cell style (XF) shows them. Done also for a substream that is
// no worksheet (it gives nothing); Damaged when the substream ends before its EOF, after the cells
// before that point were written.
Outcome readWorksheet(QByteArrayView stream, qint64 at, WorkbookStrings &strings,
                      cells::CellFormats &formats, TextSink &sink);

} // namespace documents
