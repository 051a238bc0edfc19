#pragma once

#include <QString>
#include <QStringDecoder>

namespace documents {

// Cell values of the Excel binary formats as the office suite's CSV export writes them.

// An RK number ([MS-XLS] 2.5.217): a 30-bit integer or the high bits of a double, maybe / 100.
double rkValue(quint32 rk);

// An error value of BErr ([MS-XLS] 2.5.10) as #DIV/0! and the like; empty for an unknown code.
QString errorText(quint8 code);

// A boolean cell's value: 1 or 0.
QString booleanText(quint8 value);

// The decoder of the 8-bit strings of BIFF5 for the workbook's CODEPAGE record.
QStringDecoder decoderForCodePage(quint16 codePage);

} // namespace documents
