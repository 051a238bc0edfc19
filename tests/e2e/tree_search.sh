#!/usr/bin/env bash
# A whole folder tree in one search, driven like a person: "**/*" typed as the pattern lists the
# files of the folder and of its subfolders (a dot-folder left out, a ZIP among them), all are
# marked and "选定" searches them; the report must name the files by their paths below the
# folder and the ZIP's members below the ZIP, in tree order, and Enter on the GBK-named member's
# entry must hand a copy of that member to xdg-open.
# Usage: tree_search.sh <path to quarlex> <folder of the archive fixtures>
source "$(dirname "$0")/lib.sh"
app=$1
fixtures=$2

program_with_data "$app" 项目
progdir=$E2E_PROGDIR
data=$E2E_DATA
mkdir -p "$data/.hidden" "$data/sub/深"
gbk() { iconv -f UTF-8 -t GBK; }
printf '顶层的关键字\r\n' | gbk >"$data/a.txt"
printf '藏起来的关键字\r\n' | gbk >"$data/.hidden/secret.txt"
printf 'nothing here\r\n' >"$data/sub/b.txt"
cp "$fixtures/attachments.zip" "$data/sub/附件.zip"
printf '深处的关键字\r\n' | gbk >"$data/sub/深/c.txt"
keyword='关键字'
private_runtime_dir
record_opener

start_app "$progdir/quarlex"
open_chooser "$keyword"
# The pattern box lies at the chooser's lower left; the typed pattern replaces the one shown.
xdotool mousemove --window "$chooser" 60 218 click 1
sleep 0.3
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 50 '**/*'
sleep 1
# Mark every listed entry and search them.
mark_entries "$chooser" ctrl+a
search_marked "$chooser"

E2E_WAIT=30 wait_for_report "$launcher" < <(
    report_header "$data"
    report_entry 'a.txt' '顶层的关键字'
    report_entry 'sub/附件.zip/资料/旧.zip/说明.txt' '旧的备份里写着关键字，在第二个文件里。'
    report_entry 'sub/附件.zip/客户/合同.txt' '甲方乙方的关键字'
    report_entry 'sub/附件.zip/合同/2023.docx' '用于批量查找文件中的关键字。Search the files'
    report_entry 'sub/深/c.txt' '深处的关键字'
)

# The third hit's name line is the thirteenth line of the box (after the empty line, the header,
# two empty lines and two entries of four lines); Enter there opens it.
xdotool mousemove --window "$launcher" 300 200 click 1
xdotool key --clearmodifiers ctrl+Home
for _ in $(seq 12); do xdotool key --clearmodifiers Down; done
xdotool key --clearmodifiers Return
expect_member_copy 合同.txt '甲方乙方的关键字' "Enter on the member's entry"
app_ended && fail "the program ended"
echo "PASS"
