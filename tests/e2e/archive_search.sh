#!/usr/bin/env bash
# A search inside a ZIP archive, driven like a person: a folder with a ZIP (a nested ZIP, a member
# with a GBK name as Chinese Windows writes it, a Word document) and a text file, both marked;
# the report must name every member that holds the keyword below the archive, and Enter on the
# first hit must copy that member out into the private folder and hand the copy to xdg-open.
# Usage: archive_search.sh <path to quarlex> <folder of the archive fixtures>
source "$(dirname "$0")/lib.sh"
app=$1
fixtures=$2

program_with_data "$app" 邮件
progdir=$E2E_PROGDIR
data=$E2E_DATA
cp "$fixtures/attachments.zip" "$data/a-邮件附件.zip"
printf '备忘：关键字在这里。\r\n' | iconv -f UTF-8 -t GBK >"$data/b-备忘.txt"
keyword='关键字'
private_runtime_dir
record_opener

start_app "$progdir/quarlex"
open_chooser "$keyword"
# Mark both entries and search them.
mark_entries "$chooser" shift+Down
search_marked "$chooser"

E2E_WAIT=30 wait_for_report "$launcher" < <(
    report_header "$data"
    report_entry 'a-邮件附件.zip/资料/旧.zip/说明.txt' '旧的备份里写着关键字，在第二个文件里。'
    report_entry 'a-邮件附件.zip/客户/合同.txt' '甲方乙方的关键字'
    report_entry 'a-邮件附件.zip/合同/2023.docx' '用于批量查找文件中的关键字。Search the files'
    report_entry 'b-备忘.txt' '备忘：关键字在这里。'
)

# The first hit's name line is the fifth line of the box (after the empty line, the header and
# two empty lines); Enter there opens it.
xdotool mousemove --window "$launcher" 300 200 click 1
xdotool key --clearmodifiers ctrl+Home Down Down Down Down Return
expect_member_copy 说明.txt '旧的备份里写着关键字，在第二个文件里。' "Enter on the first hit"
[ "$(stat -c %a "$XDG_RUNTIME_DIR/quarlex-members")" = 700 ] || fail "the private folder is open to others"
app_ended && fail "the program ended"
echo "PASS"
