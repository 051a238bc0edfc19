#!/usr/bin/env bash
# Regenerates the document fixtures in tests/data/documents/ and the benchmark's source documents
# in bench/data/ with LibreOffice headless, from flat OpenDocument sources this script writes.
# Next to every fixture goes the office suite's own plain-text export (.txt for text documents,
# one .csv per sheet for spreadsheets), which the tests compare with the extracted text.
#
# Needs: soffice (libreoffice-writer/calc/impress), python3 with the uno module (python3-uno),
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
soffice_run --convert-to pptx --outdir "$work/pptx" slides.fodp
soffice_run --convert-to odp --outdir "$work/odp" slides.fodp
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
    "$work/src/runs.fodt" "$work/encrypted/runs.odt" <<'EOF'
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
doc.close(True)
try:
    desktop.terminate()
except Exception:
    pass
EOF
wait "$office" || true

cp "$work"/docx/{runs,table,header}.docx "$work"/odt/*.odt "$work"/xlsx/sheets.xlsx \
   "$work"/ods/sheets.ods "$work"/pptx/slides.pptx "$work"/odp/slides.odp "$out/"
cp "$work"/pdf/pages.pdf "$out/pages.pdf"
for f in "$work"/txt/*.txt; do cp "$f" "$out/$(basename "$f" .txt).export.txt"; done
for f in "$work"/csv/*.csv; do cp "$f" "$out/$(basename "$f" .csv).export.csv"; done
cp "$work/encrypted/runs.pdf" "$out/encrypted.pdf"
cp "$work/encrypted/runs.docx" "$out/encrypted.docx"
cp "$work/encrypted/runs.odt" "$out/encrypted.odt"
cp "$work/docx/chinese.docx" "$bench_out/chinese.docx"
cp "$work/pdf/chinese15.pdf" "$bench_out/chinese15.pdf"

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
ls -l "$out" "$bench_out"
