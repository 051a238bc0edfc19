#!/usr/bin/env bash
# Seeds for the document fuzzers from the fixtures in tests/data/documents (gsf from libgsf-bin
# takes the streams out of the compound files). See fuzz_documents.cpp for the input layouts.
#   tests/search/fuzz/seed_corpus.sh corpus-documents/ corpus/ [corpus-rtf/] [corpus-msg/]
#   fuzz_documents  -max_len=65536 corpus-documents/
#   fuzz_file_search -max_len=65536 corpus/
#   fuzz_rtf -max_len=65536 corpus-rtf/
#   fuzz_msg -max_len=131072 corpus-msg/
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
documents=$1
search=$2
mkdir -p "$documents" "$search"
fixtures="$root/tests/data/documents"
size32() { printf "%08x" "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/'; }
for f in "$fixtures"/* "$fixtures"/ole2/*.xls "$fixtures"/ole2/*.ppt "$fixtures"/ofd/*.ofd; do
    [ -f "$f" ] || continue
    name=$(basename "$f")
    # Mode 0 of fuzz_documents (byte 0 = 0), and fuzz_file_search's four bytes of options.
    { printf '\x00'; cat "$f"; } > "$documents/$name"
    { printf '\x00\x40\x00\x00'; cat "$f"; } > "$search/$name"
done
for f in "$fixtures"/*.doc; do
    word=$(mktemp) && gsf cat "$f" WordDocument > "$word"
    { printf '\x08'; printf "$(size32 "$(stat -c %s "$word")")"; cat "$word"
      gsf cat "$f" 1Table; } > "$documents/streams-$(basename "$f")" || true
    rm -f "$word"
done
for f in "$fixtures"/*.xls "$fixtures"/ole2/*.xls; do
    { printf '\x10'; gsf cat "$f" Workbook; } > "$documents/streams-$(basename "$f")" || true
done
for f in "$fixtures"/*.ppt "$fixtures"/ole2/*.ppt; do
    document=$(mktemp) && gsf cat "$f" "PowerPoint Document" > "$document"
    { printf '\x18'; printf "$(size32 "$(stat -c %s "$document")")"; cat "$document"
      gsf cat "$f" "Current User"; } > "$documents/streams-$(basename "$f")"
    rm -f "$document"
done
size16() { printf "%04x" "$1" | sed 's/\(..\)\(..\)/\\x\2\\x\1/'; }
# Mode 4: the parts of each OFD fixture, and its first template page if it has one.
for f in "$fixtures"/ofd/*.ofd; do
    parts=$(mktemp -d)
    unzip -p "$f" OFD.xml > "$parts/ofd"
    unzip -p "$f" Doc_0/Document.xml > "$parts/document"
    unzip -p "$f" Doc_0/Pages/Page_0/Content.xml > "$parts/page"
    { printf '\x20'
      for p in ofd document page; do printf "$(size16 "$(stat -c %s "$parts/$p")")"; done
      cat "$parts/ofd" "$parts/document" "$parts/page"
      unzip -p "$f" 'Doc_0/Tpls/*' 2> /dev/null || true
    } > "$documents/parts-$(basename "$f")"
    rm -rf "$parts"
done
# Mode 4, written here: a page that uses a template page (background) and annotations.
ns='xmlns:ofd="http://www.ofdspec.org/2016"'
ofd="<ofd:OFD $ns><ofd:DocBody><ofd:DocRoot>Doc_0/Document.xml</ofd:DocRoot></ofd:DocBody></ofd:OFD>"
document="<ofd:Document $ns><ofd:CommonData><ofd:TemplatePage ID=\"2\" BaseLoc=\"Tpls/Tpl_0/Content.xml\" ZOrder=\"Foreground\"/></ofd:CommonData><ofd:Pages><ofd:Page ID=\"1\" BaseLoc=\"/Doc_0/Pages/Page_0/Content.xml\"/></ofd:Pages><ofd:Annotations>Tpls/Tpl_0/Content.xml</ofd:Annotations></ofd:Document>"
page="<ofd:Page $ns><ofd:Template TemplateID=\"2\" ZOrder=\"Background\"/><ofd:Content><ofd:Layer><ofd:TextObject><ofd:TextCode>批量</ofd:TextCode><ofd:TextCode>查找</ofd:TextCode></ofd:TextObject><ofd:ImageObject/></ofd:Layer></ofd:Content></ofd:Page>"
template="<ofd:Page $ns><ofd:Page PageID=\"1\"><ofd:FileLoc>../Tpl_0/Content.xml</ofd:FileLoc></ofd:Page><ofd:Content><ofd:TextObject><ofd:TextCode>模板</ofd:TextCode></ofd:TextObject></ofd:Content></ofd:Page>"
{ printf '\x20'
  for p in "$ofd" "$document" "$page"; do printf "$(size16 "$(printf '%s' "$p" | wc -c)")"; done
  printf '%s' "$ofd" "$document" "$page" "$template"
} > "$documents/parts-written.ofd"
# fuzz_rtf: the RTF fixtures without their first six bytes ("{\rtf1"), which the target puts
# back, after byte 0 (0: the caller never stops) and byte 0 = 3 (it stops after three pieces).
if [ -n "${3:-}" ]; then
    mkdir -p "$3"
    for f in "$fixtures"/rtf/*.rtf; do
        { printf '\x00'; tail -c +7 "$f"; } > "$3/$(basename "$f")"
        { printf '\x03'; tail -c +7 "$f"; } > "$3/stop-$(basename "$f")"
    done
fi
# Mode 5: the content documents of the EPUB fixtures.
for f in "$fixtures"/*.epub; do
    { printf '\x28'; unzip -p "$f" 'OEBPS/sections/*.xhtml'; } > "$documents/document-$(basename "$f")"
done
# fuzz_msg: the Outlook messages after byte 0 = 0, their compressed RTF bodies after byte 0 = 1.
if [ -n "${4:-}" ]; then
    mkdir -p "$4"
    for f in "$fixtures"/msg/*.msg "$fixtures"/mail/*.msg; do
        { printf '\x00'; cat "$f"; } > "$4/$(basename "$f")"
        rtf=$(mktemp)
        if gsf cat "$f" __substg1.0_10090102 > "$rtf" 2>/dev/null; then
            { printf '\x01'; cat "$rtf"; } > "$4/rtf-$(basename "$f")"
        fi
        rm -f "$rtf"
    done
fi
