#pragma once

#include "search/documents/extractor.h"

namespace documents {

// Excel 97-2003 workbooks (.xls, .xlt) and WPS Spreadsheets files (.et), [MS-XLS]: an OLE2
// compound file whose Workbook stream is a sequence of BIFF8 records; the Book stream of Excel 5
// and 95 (BIFF5, 8-bit strings in the workbook's code page) is read the same way.
//
// The worksheets follow in workbook order (BoundSheet8 records), each a row a line, cells in
// column order as document_text.h lays them out: shared strings (SST), string cells, numbers,
// the cached results of formulas, booleans (1, 0) and error values (#DIV/0! ...). A number is
// written as the office suite's CSV export writes a number in the general format: at most 15
// significant digits, in fixed notation between 1E-14 and 1E+15, else as d.dddE+xxx.
class Excel97Extractor : public Extractor
{
public:
    Outcome extract(const Source &source, TextSink &sink) override;
};

// `value` in the general number format, as above.
QString generalNumberText(double value);

} // namespace documents
