#!/usr/bin/env bash
# Regenerates the document fixtures in tests/data/documents/ and the benchmark's source documents
# in bench/data/ with LibreOffice headless, from flat OpenDocument sources this script writes.
# Next to every fixture goes the office suite's own plain-text export (.txt for text documents,
# one .csv per sheet for spreadsheets), which the tests compare with the extracted text.
#
# Needs: soffice (libreoffice-writer/calc/impress), python3 with the uno module (python3-uno) and
# the olefile module (python3-olefile), gsf (libgsf-bin).
# CI does not run this: the fixtures are committed.
#   tests/data/make_documents.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/tests/data/documents"
bench_out="$root/bench/data"
work=$(mktemp -d /tmp/quarlex-docs-XXXXXX)
profile="$work/profile"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$bench_out" "$work/src"
cd "$work/src"

soffice_run() {
    soffice -env:UserInstallation="file://$profile" --headless "$@" > /dev/null
}

namespaces='xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"'

# text_document NAME MASTER_CONTENT BODY: a Writer document whose page style holds MASTER_CONTENT
# (header/footer) and whose body is BODY.
text_document() {
    cat > "$1.fodt" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $namespaces office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:font-face-decls>
  <style:font-face style:name="Noto Serif CJK SC" svg:font-family="'Noto Serif CJK SC'"/>
 </office:font-face-decls>
 <office:styles>
  <style:default-style style:family="paragraph">
   <style:text-properties style:font-name="Noto Serif CJK SC" style:font-name-asian="Noto Serif CJK SC"/>
  </style:default-style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold" style:font-weight-asian="bold"/></style:style>
  <style:style style:name="T2" style:family="text"><style:text-properties fo:font-style="italic"/></style:style>
  <style:style style:name="PB" style:family="paragraph"><style:paragraph-properties fo:break-before="page"/></style:style>
  <style:page-layout style:name="pm1">
   <style:page-layout-properties fo:page-width="21cm" fo:page-height="29.7cm" fo:margin="2cm"/>
   <style:header-style/><style:footer-style/>
  </style:page-layout>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Standard" style:page-layout-name="pm1">$2</style:master-page>
 </office:master-styles>
 <office:body><office:text>$3</office:text></office:body>
</office:document>
EOF
}

# The keyword 批量查找 and the ASCII keyword NeedleWord, each split over two formatting runs.
text_document runs "" '
  <text:p>合同编号 2024：本工具用于批量<text:span text:style-name="T1">查找</text:span>文件中的关键字。</text:p>
  <text:p>Search the files for the Needle<text:span text:style-name="T2">Word</text:span> here.</text:p>
  <text:p>第三段	有一个制表符和<text:s text:c="3"/>三个空格。</text:p>'

# A list and a table whose cell holds the keyword.
text_document table "" '
  <text:p>表格前的段落</text:p>
  <text:list><text:list-item><text:p>第一项</text:p></text:list-item><text:list-item><text:p>第二项</text:p></text:list-item></text:list>
  <table:table table:name="T">
   <table:table-column table:number-columns-repeated="2"/>
   <table:table-row><table:table-cell office:value-type="string"><text:p>名称</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>说明</text:p></table:table-cell></table:table-row>
   <table:table-row><table:table-cell office:value-type="string"><text:p>TableCell</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>批量查找</text:p></table:table-cell></table:table-row>
  </table:table>
  <text:p>表格后的段落</text:p>'

# The keyword in the page header only.
text_document header '<style:header><text:p>页眉：批量查找 HeaderWord</text:p></style:header><style:footer><text:p>页脚 FooterWord</text:p></style:footer>' '
  <text:p>正文只有这一段。</text:p>'

# Three pages; the keywords are on the third.
text_document pages "" '
  <text:p>第一页的内容。</text:p>
  <text:p text:style-name="PB">第二页的内容。</text:p>
  <text:p text:style-name="PB">第三页：批量查找 ThirdPageWord</text:p>'

# Text in the ASCII range only, with Windows-1252 punctuation: the source of the Word 97 file whose
# text is stored as 8-bit characters.
text_document ascii "" '
  <text:p>Plain ASCII text with the Needle<text:span text:style-name="T1">Ascii</text:span> keyword.</text:p>
  <text:p>Second paragraph, “quoted”, a tab	and – a dash.</text:p>'

# Two sheets; the keywords are in cells of the second. Cells with a comma and a double quote show
# the CSV quoting.
cat > sheets.fods <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $namespaces office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet>
  <table:table table:name="Summary">
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>名称</text:p></table:table-cell>
    <table:table-cell office:value-type="float" office:value="42"><text:p>42</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>批量</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>查找不在同一格</text:p></table:table-cell>
   </table:table-row>
  </table:table>
  <table:table table:name="Data">
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>编号</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>说明</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>备注</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="float" office:value="1"><text:p>1</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>批量查找</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>a, b</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell/>
    <table:table-cell office:value-type="string"><text:p>NeedleCell</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>say "hi"</text:p></table:table-cell>
   </table:table-row>
  </table:table>
 </office:spreadsheet></office:body>
</office:document>
EOF

# Numbers as the general format writes them (fixed notation, 15 significant digits, exponents
# past 1E+15 and below 1E-14), a boolean, and the cached results of formulas. (The office suite
# writes no cached text result of a text formula, so there is none here.)
number_cells() {
    local v
    for v in "$@"; do printf '<table:table-cell office:value-type="float" office:value="%s"/>' "$v"; done
}
cat > numbers.fods <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $namespaces xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:automatic-styles>
  <number:boolean-style style:name="N99"><number:boolean/></number:boolean-style>
  <style:style style:name="B" style:family="table-cell" style:data-style-name="N99"/>
 </office:automatic-styles>
 <office:body><office:spreadsheet>
  <table:table table:name="Numbers">
   <table:table-row>$(number_cells 0.1 0.333333333333333333 1E+20 -2.5 123456789012345 1E-07 100 \
       12345.678 0.30000000000000004 1234567890123456789 -0.000123 99999999999999.9)</table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>text</text:p></table:table-cell>
    <table:table-cell table:formula="of:=1/7" office:value-type="float" office:value="0.142857142857143"/>
    <table:table-cell table:style-name="B" office:value-type="boolean" office:boolean-value="true"/>
    <table:table-cell table:formula="of:=1/0" office:value-type="float" office:value="0"/>
    <table:table-cell table:number-columns-repeated="2"/>
    $(number_cells 7 -8 1000000)
   </table:table-row>
   <table:table-row>$(number_cells 1E+15 999999999999999 1E+16 1.5E-05 1E-10 1.23456789E-10 \
       123456.7890123456 1E-15 1.5E-20 2E+300 -1E+16 0.5 1000000000000001 5E-324 \
       1.7976931348623157E+308 9.99999999999999E-5 4294967296 -0)</table:table-row>
   <table:table-row>$(number_cells 9007199254740992 1.5E-14 1.2345678901234567E-05 \
       1234567890123456.5 -1234.5 999999999999999.9 1.23456789012345E-14 123456789.123456789 \
       1E+100 12345678901234.56)</table:table-row>
  </table:table>
 </office:spreadsheet></office:body>
</office:document>
EOF

# Two slides: the keyword split over two paragraphs of one text box, the ASCII keyword on the
# second slide, and a note under the second slide.
frame() { echo "<draw:frame svg:x=\"2cm\" svg:y=\"$1cm\" svg:width=\"20cm\" svg:height=\"3cm\"><draw:text-box>$2</draw:text-box></draw:frame>"; }
cat > slides.fodp <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $namespaces office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles>
  <style:page-layout style:name="PM1"><style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm"/></style:page-layout>
 </office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1"/></office:master-styles>
 <office:body><office:presentation>
  <draw:page draw:name="p1" draw:master-page-name="Default">
   $(frame 1 '<text:p>第一页标题</text:p>')
   $(frame 5 '<text:p>批量</text:p><text:p>查找</text:p>')
  </draw:page>
  <draw:page draw:name="p2" draw:master-page-name="Default">
   $(frame 1 '<text:p>Second slide: NeedleSlide</text:p>')
   <presentation:notes>$(frame 2 '<text:p>备注：NotesWord</text:p>')</presentation:notes>
  </draw:page>
 </office:presentation></office:body>
</office:document>
EOF

# Two slides on a master page whose footer field shows the footer declaration both slides use,
# and a note under the second slide.
cat > footer.fodp <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<office:document $namespaces office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles>
  <style:page-layout style:name="PM1"><style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm"/></style:page-layout>
  <style:style style:name="dp1" style:family="drawing-page"><style:drawing-page-properties presentation:display-footer="true"/></style:style>
 </office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1">
  <draw:frame presentation:class="footer" svg:x="9cm" svg:y="14cm" svg:width="10cm" svg:height="1cm"><draw:text-box><text:p><presentation:footer/></text:p></draw:text-box></draw:frame>
 </style:master-page></office:master-styles>
 <office:body><office:presentation>
  <presentation:footer-decl presentation:name="ftr1">页脚：批量查找 FooterSlide</presentation:footer-decl>
  <draw:page draw:name="p1" draw:master-page-name="Default" draw:style-name="dp1" presentation:use-footer-name="ftr1">
   $(frame 1 '<text:p>第一页标题</text:p>')
  </draw:page>
  <draw:page draw:name="p2" draw:master-page-name="Default" draw:style-name="dp1" presentation:use-footer-name="ftr1">
   $(frame 1 '<text:p>Second slide</text:p>')
   <presentation:notes>$(frame 2 '<text:p>备注：NotesWord</text:p>')</presentation:notes>
  </draw:page>
 </office:presentation></office:body>
</office:document>
EOF

# The benchmark's documents: Chinese prose from a fixed seed, without the benchmark keyword.
/usr/bin/python3 - <<'EOF'
import random
rng = random.Random(11)
chars = [chr(c) for c in range(0x4E00, 0x4E00 + 1500) if chr(c) not in "关键字"]
def paragraph():
    parts = []
    for _ in range(rng.randint(40, 120)):
        parts.append(rng.choice(chars))
        r = rng.random()
        if r < 0.06: parts.append("，")
        elif r < 0.08: parts.append(str(rng.randint(1, 9999)))
        elif r < 0.09: parts.append(" data ")
    return "".join(parts) + "。"
head = open("runs.fodt", encoding="utf-8").read().split("<office:body>")[0]
def write(name, paragraphs, pages):
    body = []
    per_page = max(1, paragraphs // pages)
    for i in range(paragraphs):
        style = ' text:style-name="PB"' if i and i % per_page == 0 else ""
        body.append("<text:p%s>%s</text:p>" % (style, paragraph()))
    with open(name, "w", encoding="utf-8") as f:
        f.write(head + "<office:body><office:text>" + "".join(body) +
                "</office:text></office:body>\n</office:document>\n")
write("chinese.fodt", 150, 1)
write("chinese15.fodt", 300, 15)
write("chinese97.fodt", 220, 1)
EOF

soffice_run --convert-to docx --outdir "$work/docx" runs.fodt table.fodt header.fodt chinese.fodt
soffice_run --convert-to odt --outdir "$work/odt" runs.fodt table.fodt header.fodt
soffice_run --convert-to 'txt:Text (encoded):UTF8' --outdir "$work/txt" runs.fodt table.fodt header.fodt pages.fodt
soffice_run --convert-to pdf --outdir "$work/pdf" pages.fodt chinese15.fodt
soffice_run --convert-to xlsx --outdir "$work/xlsx" sheets.fods
soffice_run --convert-to ods --outdir "$work/ods" sheets.fods
# 44,34,76,1: comma separator, double-quote text delimiter, UTF-8, from line 1; the last token
# (-1) writes every sheet to a file of its own, named after the sheet.
soffice_run --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
    --outdir "$work/csv" sheets.fods
soffice_run --convert-to 'txt:Text (encoded):UTF8' --outdir "$work/txt" ascii.fodt
soffice_run --convert-to 'doc:MS Word 97' --outdir "$work/doc" runs.fodt table.fodt header.fodt \
    pages.fodt ascii.fodt chinese97.fodt
soffice_run --convert-to 'xls:MS Excel 97' --outdir "$work/xls" sheets.fods numbers.fods
soffice_run --convert-to 'ppt:MS PowerPoint 97' --outdir "$work/ppt" slides.fodp
soffice_run --convert-to pptx --outdir "$work/pptx" slides.fodp
soffice_run --convert-to odp --outdir "$work/odp" slides.fodp footer.fodp
soffice_run --convert-to epub --outdir "$work/epub" runs.fodt table.fodt
soffice_run --convert-to 'pdf:writer_pdf_Export:{"EncryptFile":{"type":"boolean","value":"true"},"DocumentOpenPassword":{"type":"string","value":"secret"}}' \
    --outdir "$work/encrypted" runs.fodt

# A .docx saved with a password: --convert-to has no way to pass one, so the Word file made above
# is loaded and stored again through UNO with the password in the store arguments' EncryptionData
# (a plain Password argument is ignored by the Word export).
pipe="quarlex-docs-$$"
soffice -env:UserInstallation="file://$profile" --headless --invisible \
    --accept="pipe,name=$pipe;urp;" > /dev/null 2>&1 &
office=$!
/usr/bin/python3 - "$pipe" "$work/docx/runs.docx" "$work/encrypted/runs.docx" \
    "$work/src/runs.fodt" "$work/encrypted/runs.odt" "$work/encrypted/runs.doc" <<'EOF'
import sys, time, uno
from com.sun.star.beans import NamedValue, PropertyValue
def prop(name, value):
    p = PropertyValue(); p.Name = name; p.Value = value; return p
def named(name, value):
    n = NamedValue(); n.Name = name; n.Value = value; return n
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
for _ in range(120):
    try:
        ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % sys.argv[1])
        break
    except Exception:
        time.sleep(0.5)
else:
    sys.exit("soffice did not answer")
desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(sys.argv[2]), "_blank", 0, (prop("Hidden", True),))
encryption = prop("EncryptionData", None)
encryption.Value = uno.Any("[]com.sun.star.beans.NamedValue",
                           (named("OOXPassword", "secret"), named("CryptoType", "Standard")))
uno.invoke(doc, "storeToURL", (uno.systemPathToFileUrl(sys.argv[3]), uno.Any(
    "[]com.sun.star.beans.PropertyValue", (prop("FilterName", "MS Word 2007 XML"), encryption))))
doc.close(True)
# An OpenDocument file saved with a password: the Password argument is enough for ODF.
doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(sys.argv[4]), "_blank", 0, (prop("Hidden", True),))
doc.storeToURL(uno.systemPathToFileUrl(sys.argv[5]), (prop("FilterName", "writer8"), prop("Password", "secret")))
# A Word 97 file saved with a password (RC4 encryption, fEncrypted in the FIB).
doc.storeToURL(uno.systemPathToFileUrl(sys.argv[6]), (prop("FilterName", "MS Word 97"), prop("Password", "secret")))
doc.close(True)
try:
    desktop.terminate()
except Exception:
    pass
EOF
wait "$office" || true

cp "$work"/docx/{runs,table,header}.docx "$work"/odt/*.odt "$work"/xlsx/sheets.xlsx \
   "$work"/ods/sheets.ods "$work"/pptx/slides.pptx "$work"/odp/{slides,footer}.odp \
   "$work"/epub/{runs,table}.epub "$out/"
cp "$work"/pdf/pages.pdf "$out/pages.pdf"
for f in "$work"/txt/*.txt; do cp "$f" "$out/$(basename "$f" .txt).export.txt"; done
for f in "$work"/csv/*.csv; do cp "$f" "$out/$(basename "$f" .csv).export.csv"; done
cp "$work/encrypted/runs.pdf" "$out/encrypted.pdf"
cp "$work/encrypted/runs.docx" "$out/encrypted.docx"
cp "$work/encrypted/runs.odt" "$out/encrypted.odt"
cp "$work"/doc/{runs,table,header,pages}.doc "$work"/xls/{sheets,numbers}.xls "$out/"
cp "$work/encrypted/runs.doc" "$out/encrypted.doc"
cp "$work/docx/chinese.docx" "$bench_out/chinese.docx"
cp "$work/doc/chinese97.doc" "$bench_out/chinese.doc"
cp "$work/pdf/chinese15.pdf" "$bench_out/chinese15.pdf"

# The CSV export of the Excel file of numbers, as the office suite reads it back.
soffice_run --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
    --outdir "$work/csv97" "$out/numbers.xls"
cp "$work/csv97/numbers-Numbers.csv" "$out/numbers-Numbers.export.csv"

# The presentation without its summary streams, which hold a thumbnail of some 400 KiB: the
# streams that make it a presentation, packed again.
mkdir "$work/slides-ole"
for stream in "PowerPoint Document" "Current User" Pictures; do
    gsf cat "$work/ppt/slides.ppt" "$stream" > "$work/slides-ole/$stream"
done
(cd "$work/slides-ole" && gsf createole "$out/slides.ppt" "PowerPoint Document" "Current User" \
    Pictures > /dev/null)

# A Word 97 file whose text is stored as 8-bit characters, as Word stores text that Windows-1252
# holds (the office suite writes UTF-16 only): the ASCII file's piece becomes a compressed one and
# the positions of its character and paragraph runs follow. The office suite's export of the
# result is the expected text.
cp "$work/doc/ascii.doc" "$out/compressed.doc"
/usr/bin/python3 - "$out/compressed.doc" <<'EOF'
import struct, sys, olefile
ole = olefile.OleFileIO(sys.argv[1], write_mode=True)
word = bytearray(ole.openstream("WordDocument").read())
flags, = struct.unpack_from("<H", word, 0x0A)
table_name = "1Table" if flags & 0x0200 else "0Table"
table = bytearray(ole.openstream(table_name).read())
csw, = struct.unpack_from("<H", word, 32)
cslw, = struct.unpack_from("<H", word, 34 + 2 * csw)
fc_lcb = 34 + 2 * csw + 2 + 4 * cslw + 2
def pair(index):
    return struct.unpack_from("<II", word, fc_lcb + 8 * index)
fc_clx, lcb_clx = pair(33)
at = fc_clx
assert table[at] == 2, "the piece table comes first"
lcb, = struct.unpack_from("<I", table, at + 1)
pieces = (lcb - 4) // 12
assert pieces == 1, "one piece"
start, end = struct.unpack_from("<II", table, at + 5)
descriptor = at + 5 + 4 * (pieces + 1)
fc, = struct.unpack_from("<I", table, descriptor + 2)
assert not fc & 0x40000000
text = word[fc:fc + 2 * (end - start)].decode("utf-16-le")
encoded = text.encode("cp1252")
word[fc:fc + len(encoded)] = encoded
word[fc + len(encoded):fc + 2 * len(encoded)] = b"\0" * len(encoded)
struct.pack_into("<I", table, descriptor + 2, 0x40000000 | (2 * fc))
def moved(position):
    return fc + (position - fc) // 2 if fc <= position <= fc + 2 * len(encoded) else position
# The bin tables of character and paragraph runs, and the FC boundaries of their 512-byte pages.
for index in (12, 13):
    fc_plc, lcb_plc = pair(index)
    count = (lcb_plc - 4) // 8
    for i in range(count + 1):
        position, = struct.unpack_from("<I", table, fc_plc + 4 * i)
        struct.pack_into("<I", table, fc_plc + 4 * i, moved(position))
    for i in range(count):
        page, = struct.unpack_from("<I", table, fc_plc + 4 * (count + 1) + 4 * i)
        page = (page & 0x3FFFFF) * 512
        runs = word[page + 511]
        for r in range(runs + 1):
            position, = struct.unpack_from("<I", word, page + 4 * r)
            struct.pack_into("<I", word, page + 4 * r, moved(position))
ole.write_stream("WordDocument", bytes(word))
ole.write_stream(table_name, bytes(table))
ole.close()
EOF
soffice_run --convert-to 'txt:Text (encoded):UTF8' --outdir "$work/txt97" "$out/compressed.doc"
cp "$work/txt97/compressed.txt" "$out/compressed.export.txt"

# An Excel file cut off in the middle.
size=$(stat -c %s "$out/sheets.xls")
head -c $((size / 2)) "$out/sheets.xls" > "$out/truncated.xls"

# A Word file cut off in the middle, as an interrupted download leaves it.
size=$(stat -c %s "$out/runs.docx")
head -c $((size / 2)) "$out/runs.docx" > "$out/truncated.docx"

# A ZIP bomb: a Word package whose main part is 48 MiB of blanks inside well-formed XML,
# deflated about 1,000 to 1, so only the inflation limits stop it.
/usr/bin/python3 - "$out/bomb.docx" <<'EOF'
import sys, zipfile
content_types = ('<?xml version="1.0" encoding="UTF-8"?>'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
    '</Types>')
rels = ('<?xml version="1.0" encoding="UTF-8"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
    '</Relationships>')
w = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    z.writestr("[Content_Types].xml", content_types)
    z.writestr("_rels/.rels", rels)
    with z.open("word/document.xml", "w", force_zip64=True) as part:
        part.write(('<?xml version="1.0" encoding="UTF-8"?><w:document xmlns:w="%s"><w:body>' % w).encode())
        block = b" " * (1 << 20)
        for _ in range(48):
            part.write(block)
        part.write(b"</w:body></w:document>")
EOF
# Cells with number formats, written as Excel writes them (number format codes in the styles
# part, cells naming their style): dates and times with Chinese literals and 上午/下午,
# percentages, fixed decimals, thousands, currencies, scaling, scientific notation, text, and the
# built-in formats Chinese Excel names by number only. The office suite makes the Excel 97 and
# Calc files of it and exports all three as shown, in a Chinese locale (month names, 上午/下午).
# Left out, as the office suite shows them otherwise: [DBNum] digits (it writes Chinese numerals,
# the reader Arabic ones), 上午/下午 in a code of the file's own (it reads the code as text) and
# the built-in dates 14 and 22 (its Chinese short date is 2021-4-28, Chinese Excel's 2021/4/28),
# and "-"?? in an accounting format's zero section (the Calc file's cell text keeps the blanks
# of the ?? as shown when it was written; loading it again, the office suite shows fewer).
/usr/bin/python3 - "$work/src" <<'EOF'
import sys, zipfile
from xml.sax.saxutils import escape, quoteattr
rows = [  # (label, format code or built-in number, value)
    ("percent", "0.00%", 1.1111), ("grouped", "#,##0.00", 1111.1111),
    ("padded", "#,##0.00_ ", 35088848.79), ("rounded", "0.00", 2.675),
    ("negative", "#,##0", -1234567.5), ("yuan", '"¥"#,##0.00;"¥"\\-#,##0.00', -1234.5),
    ("accounting", '_ "￥"* #,##0.00_ ;_ "￥"* \\-#,##0.00_ ;_ "￥"* "-"??_ ;_ @_ ', 1234.5),
    ("accounting zero", '_ "￥"* #,##0_ ;_ "￥"* \\-#,##0_ ;_ "￥"* "-"_ ;_ @_ ', 0),
    ("thousands", '0.0,"千"', 12345), ("scientific", "0.00E+00", 0.000123),
    ("zero section", '0;-0;"零"', 0), ("optional", "#.##", 3.1),
    ("dollar", "[$$-409]#,##0.00", 1234.5), ("text", "@", 12.5),
    ("date cn", 'yyyy"年"m"月"d"日"', 44314),
    ("datetime cn", 'yyyy"年"m"月"d"日"\\ h:mm:ss', 43831.042372685202),
    ("iso", "yyyy-mm-dd hh:mm", 45000.5), ("month day", "m/d", 44314),
    ("elapsed", "[h]:mm:ss", 1.5), ("tenths", "mm:ss.0", 1.25 / 86400),
    ("english", "[$-409]d-mmm-yy h:mm AM/PM", 44314.75), ("month names", "d-mmm mmmm", 44314),
    ("builtin 55", 55, 0.75), ("builtin 56", 56, 43831.042372685202), ("builtin 31", 31, 44314),
    ("builtin 57", 57, 44314), ("builtin 58", 58, 44314), ("builtin 32", 32, 0.5),
    ("builtin 10", 10, 0.125), ("builtin 4", 4, -9876.543), ("builtin 3", 3, 1e6),
    ("general", 0, 35088848.79), ("general small", 0, 0.1),
]
custom = {}
for _, code, _ in rows:
    if isinstance(code, str) and code not in custom:
        custom[code] = 164 + len(custom)
ids = [custom[c] if isinstance(c, str) else c for _, c, _ in rows]
styles_ids = sorted(set(ids), key=ids.index)
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rns = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
def workbook(path, sheet, cells, date1904=False):
    numfmts = "".join('<numFmt numFmtId="%d" formatCode=%s/>' % (i, quoteattr(c)) for c, i in custom.items())
    xfs = '<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>' + "".join(
        '<xf numFmtId="%d" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/>' % i
        for i in styles_ids)
    styles = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><styleSheet %s>'
              '<numFmts count="%d">%s</numFmts><fonts count="1"><font><sz val="11"/><name val="宋体"/></font></fonts>'
              '<fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
              '<borders count="1"><border/></borders>'
              '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
              '<cellXfs count="%d">%s</cellXfs></styleSheet>') % (ns, len(custom), numfmts, len(styles_ids) + 1, xfs)
    data = []
    for r, (label, code, value) in enumerate(cells, 1):
        s = styles_ids.index(custom[code] if isinstance(code, str) else code) + 1
        data.append('<row r="%d"><c r="A%d" t="inlineStr"><is><t>%s</t></is></c><c r="B%d" s="%d"><v>%r</v></c></row>'
                    % (r, r, escape(label), r, s, value))
    sheet_xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><worksheet %s><sheetData>%s</sheetData></worksheet>'
                 % (ns, "".join(data)))
    book = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><workbook %s %s>%s<sheets><sheet name="%s" sheetId="1" r:id="rId1"/></sheets></workbook>'
            % (ns, rns, '<workbookPr date1904="1"/>' if date1904 else "<workbookPr/>", sheet))
    types = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
             '<Default Extension="xml" ContentType="application/xml"/>'
             '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
             '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
             '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>')
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    rels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="%sofficeDocument" Target="xl/workbook.xml"/></Relationships>' % rel)
    book_rels = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                 '<Relationship Id="rId1" Type="%sworksheet" Target="worksheets/sheet1.xml"/>'
                 '<Relationship Id="rId2" Type="%sstyles" Target="styles.xml"/></Relationships>' % (rel, rel))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in (("[Content_Types].xml", types), ("_rels/.rels", rels),
                           ("xl/workbook.xml", book), ("xl/_rels/workbook.xml.rels", book_rels),
                           ("xl/styles.xml", styles), ("xl/worksheets/sheet1.xml", sheet_xml)):
            z.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), text)
workbook(sys.argv[1] + "/formats.xlsx", "Formats", rows)
# The same serial numbers in a workbook that counts from 1904.
workbook(sys.argv[1] + "/dates1904.xlsx", "Dates1904",
         [r for r in rows if r[0] in ("date cn", "datetime cn", "iso", "builtin 56")], True)
EOF
zh_run() {
    LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 soffice -env:UserInstallation="file://$work/profile-zh" \
        --headless "$@" > /dev/null
}
zh_run --convert-to 'xls:MS Excel 97' --outdir "$work/formats" formats.xlsx dates1904.xlsx
zh_run --convert-to ods --outdir "$work/formats" formats.xlsx
cp formats.xlsx dates1904.xlsx "$work/formats/"
# 44,34,76,1,,0,false,true,true: as the office suite shows the cells (the ninth token).
for f in formats.xlsx formats.xls formats.ods dates1904.xlsx dates1904.xls; do
    mkdir -p "$work/formats-csv/$f"
    zh_run --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1' \
        --outdir "$work/formats-csv/$f" "$work/formats/$f"
    cp "$work/formats/$f" "$out/$f"
    for csv in "$work/formats-csv/$f"/*.csv; do
        cp "$csv" "$out/${f/./-}-$(basename "$csv" .csv | sed 's/^.*-//').export.csv"
    done
done

# The benchmark's workbook: 4,000 rows of Chinese text from a fixed seed (without the benchmark
# keyword) and numbers in the formats of real business sheets (dates, times, percentages,
# amounts, yuan, General), saved again by the office suite as Excel and Excel 97 files.
/usr/bin/python3 - "$work/src" <<'EOF'
import random, sys, zipfile
from xml.sax.saxutils import escape, quoteattr
rng = random.Random(11)
chars = [chr(c) for c in range(0x4E00, 0x4E00 + 1500) if chr(c) not in "关键字"]
codes = ['yyyy"年"m"月"d"日"', "0.00%", "#,##0.00", "0", "h:mm:ss", '"¥"#,##0.00;"¥"\\-#,##0.00']
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
rows = []
for r in range(1, 4001):
    values = [rng.uniform(40000, 46000), rng.random() * 2, rng.uniform(-1e6, 1e7),
              rng.randint(0, 100000), rng.random(), rng.uniform(-5e4, 5e5)]
    cells = ['<c r="A%d" t="inlineStr"><is><t>%s</t></is></c>' % (r, "".join(rng.choice(chars) for _ in range(rng.randint(4, 12))))]
    cells += ['<c r="%s%d" s="%d"><v>%r</v></c>' % ("BCDEFG"[i], r, i + 1, v) for i, v in enumerate(values)]
    cells.append('<c r="H%d"><v>%r</v></c>' % (r, round(rng.uniform(0, 1e6), 2)))
    rows.append('<row r="%d">%s</row>' % (r, "".join(cells)))
styles = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><styleSheet %s><numFmts count="%d">%s</numFmts>'
          '<fonts count="1"><font><sz val="11"/><name val="宋体"/></font></fonts><fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
          '<borders count="1"><border/></borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
          '<cellXfs count="%d"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>%s</cellXfs></styleSheet>') % (
    ns, len(codes), "".join('<numFmt numFmtId="%d" formatCode=%s/>' % (164 + i, quoteattr(c)) for i, c in enumerate(codes)),
    len(codes) + 1, "".join('<xf numFmtId="%d" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/>' % (164 + i) for i in range(len(codes))))
parts = {
    "[Content_Types].xml": '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/><Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>',
    "_rels/.rels": '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="%sofficeDocument" Target="xl/workbook.xml"/></Relationships>' % rel,
    "xl/workbook.xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?><workbook %s xmlns:r="%s"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>' % (ns, rel[:-1]),
    "xl/_rels/workbook.xml.rels": '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="%sworksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type="%sstyles" Target="styles.xml"/></Relationships>' % (rel, rel),
    "xl/styles.xml": styles,
    "xl/worksheets/sheet1.xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?><worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, "".join(rows)),
}
with zipfile.ZipFile(sys.argv[1] + "/cells-source.xlsx", "w", zipfile.ZIP_DEFLATED) as z:
    for name, text in parts.items():
        z.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), text)
EOF
zh_run --convert-to xlsx --outdir "$work/cells" cells-source.xlsx
zh_run --convert-to 'xls:MS Excel 97' --outdir "$work/cells" cells-source.xlsx
cp "$work/cells/cells-source.xlsx" "$bench_out/cells.xlsx"
cp "$work/cells/cells-source.xls" "$bench_out/cells.xls"

ls -l "$out" "$bench_out"
