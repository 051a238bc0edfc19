#!/usr/bin/env bash
# Regenerates tests/data/documents/chm/contents_gbk.chm, a small compiled help file written by
# Free Pascal's chmcmd: Chinese pages in GBK with no charset of their own (the help file's
# language, 0x0804, says how to read them), a table of contents in an order that is neither the
# pages' names' nor the directory's (one topic named twice, once with a fragment), a page the
# contents do not name that sorts first, and a UTF-8 page that declares its charset.
#
# Needs: chmcmd (fp-utils), iconv. CI does not run this: the help file is committed.
#   tests/data/make_help_file.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/tests/data/documents/chm"
work=$(mktemp -d /tmp/quarlex-chm-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"

gbk_page() { # file, heading, body
    printf '<html><head><title>%s</title></head><body><h1>%s</h1><p>%s</p></body></html>\n' \
        "$2" "$2" "$3" | iconv -f UTF-8 -t GBK > "$1"
}
gbk_page a_first.htm "甲篇" "甲篇正文：批量查找第一段。"
gbk_page b_second.htm "乙篇" "乙篇正文：合同违约金条款。"
gbk_page c_third.htm "丙篇" "丙篇正文：目录里排在最前。"
gbk_page 0_extra.htm "附篇" "附篇正文：目录没有提到这一页。"
printf '<html><head><meta charset="utf-8"><title>UTF-8</title></head><body><p>%s</p></body></html>\n' \
    "统一编码页：自己声明字符集。" > utf8_page.htm

{
    printf '<html><body>\n<object type="text/site properties"></object>\n<ul>\n'
    for topic in "丙篇|c_third.htm#top" "甲篇|a_first.htm" "乙篇|b_second.htm" "甲篇再次|a_first.htm"; do
        printf '<li><object type="text/sitemap"><param name="Name" value="%s">' "${topic%%|*}"
        printf '<param name="Local" value="%s"></object>\n' "${topic#*|}"
    done
    printf '</ul>\n</body></html>\n'
} | iconv -f UTF-8 -t GBK > toc.hhc

cat > help.hhp <<'HHP'
[OPTIONS]
Compatibility=1.1 or later
Compiled file=contents_gbk.chm
Contents file=toc.hhc
Default topic=c_third.htm
Language=0x804 Chinese (PRC)
Title=Help

[FILES]
a_first.htm
b_second.htm
c_third.htm
0_extra.htm
utf8_page.htm
HHP
chmcmd --no-html-scan help.hhp > /dev/null
cp contents_gbk.chm "$out/contents_gbk.chm"
