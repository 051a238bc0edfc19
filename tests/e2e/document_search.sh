#!/usr/bin/env bash
# A search over office documents, driven like a person: a folder with a Word file, a PDF file and
# a text file, all three marked, the keyword pasted into the prompt; the report must name the
# Word and PDF files with excerpts of their text, and the text file.
# Usage: document_search.sh <path to quarlex> <folder of the document fixtures>
source "$(dirname "$0")/lib.sh"
app=$1
fixtures=$2

program_with_data "$app" 文档
progdir=$E2E_PROGDIR
data=$E2E_DATA

# The keyword lies split over two formatting runs in the Word file and on the third page of the
# PDF file; the names say nothing of what the files are.
cp "$fixtures/runs.docx" "$data/a-合同.docx"
cp "$fixtures/pages.pdf" "$data/b-报告.dat"
printf '备忘：明天批量查找去年的合同。\r\n' | iconv -f UTF-8 -t GBK >"$data/c-备忘.txt"
keyword='批量查找'

start_app "$progdir/quarlex"
launcher=$(wait_window 'Quarlex - 批量查找')
# The document readers' libraries come with the first document, not at start.
for library in libpoppler libarchive libgsf libtesseract; do
    grep -q "/$library" "/proc/$E2E_APP_PID/maps" && fail "$library was loaded at start"
done
ask_keyword "$launcher" "$keyword"
chooser=$E2E_CHOOSER
# Mark the three entries and search them.
mark_entries "$chooser" shift+Down shift+Down
search_marked "$chooser"

E2E_WAIT=30 wait_for_report "$launcher" < <(
    report_header "$data"
    report_entry 'a-合同.docx' '2024：本工具用于批量查找文件中的关键字。Search t'
    report_entry 'b-报告.dat' '二页的内容。第三页：批量查找 ThirdPageWord'
    report_entry 'c-备忘.txt' '备忘：明天批量查找去年的合同。'
)
app_ended && fail "the program ended"
grep -q /libpoppler "/proc/$E2E_APP_PID/maps" || fail "the PDF file was read without poppler"
echo "PASS"
