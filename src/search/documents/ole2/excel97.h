#pragma once

#include "search/documents/document.h"
#include "search/documents/extractor.h"

namespace documents {

// Excel 97-2003 workbooks (.xls, .xlt) and WPS Spreadsheets files (.et), [MS-XLS]: an OLE2
// compound file whose Workbook stream is a sequence of BIFF8 records; the Book stream of Excel 5
// and 95 (BIFF5, 8-bit strings in the workbook's code page) is read the same way.
//
// The worksheets follow in workbook order (BoundSheet8 records; where one does not give the
// place of its sheet, the sheet is found by its place in the sequence of substreams after the
// workbook globals), each a row a line, cells in column order as document_text.h lays them out:
// shared strings (SST), string cells, numbers, the cached results of formulas, booleans (1, 0)
// and error values (#DIV/0! ...), written as excel97_values.h says. A damaged sheet does not end
// the reading: the sheets after it are read too.
class Excel97Extractor : public CompoundFileExtractor
{
public:
    Outcome extractFrom(const CompoundFile &file, const Source &source, TextSink &sink) override;
};

// The registry's row of this family.
extern const Format kExcel97Format;

} // namespace documents
