#!/usr/bin/env bash
# A search over office documents, driven like a person: a folder with a Word file, a PDF file and
# a text file, all three marked, the keyword pasted into the prompt; the report must name the
# Word and PDF files with excerpts of their text, and the text file.
# Usage: document_search.sh <path to quarlex> <folder of the document fixtures>
source "$(dirname "$0")/lib.sh"
app=$1
fixtures=$2

start_display --wm
private_program "$app"
progdir=$E2E_PROGDIR
data="$E2E_TMP/文档"
mkdir -p "$data"
printf '[路径]\r\n/\r\n%s\r\n[/路径]\r\n' "$data" | iconv -f UTF-8 -t GBK >"$progdir/find.ini"

# The keyword lies split over two formatting runs in the Word file and on the third page of the
# PDF file; the names say nothing of what the files are.
cp "$fixtures/runs.docx" "$data/a-合同.docx"
cp "$fixtures/pages.pdf" "$data/b-报告.dat"
printf '备忘：明天批量查找去年的合同。\r\n' | iconv -f UTF-8 -t GBK >"$data/c-备忘.txt"
keyword='批量查找'

start_app "$progdir/quarlex"
launcher=$(wait_window 'Quarlex - 批量查找')
# The search label "。。。Zorvik" lies at 24..137 x 48..73 in the launcher.
xdotool mousemove --window "$launcher" 60 60 click 1
prompt=$(wait_window '^Quarlex$')
printf '%s' "$keyword" | xclip -selection clipboard
xdotool windowactivate --sync "$prompt" key --clearmodifiers ctrl+v Return

chooser=$(wait_window '选择导入数据的路径')
# Mark the three entries: a click on the first (the file list starts at x = 128), then
# Shift+Down twice.
xdotool mousemove --window "$chooser" 180 8 click 1
xdotool key --clearmodifiers shift+Down shift+Down
windows=$(program_windows)
xdotool mousemove --window "$chooser" 180 8 click 3
wait_more_windows "$windows"
xdotool key --clearmodifiers Down Return
wait_until window_hidden "$chooser" || fail "the chooser stayed on screen"

sp26=$(printf '%26s' '')
sp40=$(printf '%40s' '')
entry() { printf '%s%s：\r\n\r\n%s%s...\r\n\r\n' "$sp26" "$1" "$sp40" "$2"; }
expected=$( {
    printf '\r\n  %s/\r\n\r\n\r\n' "$data"
    entry 'a-合同.docx' '2024：本工具用于批量查找文件中的关键字。Search t'
    entry 'b-报告.dat' '二页的内容。第三页：批量查找 ThirdPageWord'
    entry 'c-备忘.txt' '备忘：明天批量查找去年的合同。'
} | tr -d '\r'; echo x)

# Selects the whole report (Text1 lies at 24..601 x 80..401), copies it and succeeds when it is
# the expected one; the run may still be writing it.
copied_report() {
    xdotool mousemove --window "$launcher" 300 200 click 1
    xdotool key --clearmodifiers ctrl+a ctrl+c
    actual=$(xclip -o -selection clipboard | tr -d '\r'; echo x)
    [ "$actual" = "$expected" ]
}
E2E_WAIT=30 wait_until copied_report || true
if [ "$actual" != "$expected" ]; then
    diff <(printf '%s' "$expected") <(printf '%s' "$actual") >&2 || true
    fail "the report box does not hold the expected report"
fi
app_ended && fail "the program ended"
echo "PASS"
