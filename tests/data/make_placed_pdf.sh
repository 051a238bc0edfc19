#!/usr/bin/env bash
# Writes two PDF files whose text layer differs from what a reader sees, as real writers make them,
# to tests/data/documents/:
# - glyphs.pdf: an e-invoice as converters from OFD write it, every glyph its own text object
#   placed apart from the next (a gap of one glyph), so that the text taken from it has spaces
#   between the characters (numbers among them as runs of their own); and Latin words set as
#   usual, alone and beside CJK text.
# - radicals.pdf: a font whose ToUnicode map gives Kangxi radicals and CJK Radicals Supplement
#   characters for the ideographs its glyphs show (⼦ for 子, ⻔ for 门), as some office suites'
#   fonts do; one character of a component shape only (⺅) stays what it is.
# The CJK font is a Type0 font of Identity-H codes, not embedded: the text is taken from the
# ToUnicode map, no glyph is drawn. Objects written by hand, content streams uncompressed.
# Needs: python3. CI does not run this: the fixtures are committed.
#   tests/data/make_placed_pdf.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
python3 - "$root/tests/data/documents" <<'PY'
import sys

out = sys.argv[1]

def cjk_font(chars):
    """The objects of a Type0 font whose code i + 1 stands for chars[i]: font, CID font,
    descriptor, ToUnicode stream (numbered from 5)."""
    cmap = ('/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n'
            '/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n'
            '/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n'
            '1 begincodespacerange <0000> <FFFF> endcodespacerange\n'
            f'{len(chars)} beginbfchar\n')
    for i, c in enumerate(chars):
        cmap += f'<{i + 1:04X}> <{ord(c):04X}>\n'
    cmap += 'endbfchar endcmap CMapName currentdict /CMap defineresource pop end end\n'
    cmap = cmap.encode()
    return [
        b'<< /Type /Font /Subtype /Type0 /BaseFont /SimSun /Encoding /Identity-H '
        b'/DescendantFonts [6 0 R] /ToUnicode 8 0 R >>',
        b'<< /Type /Font /Subtype /CIDFontType2 /BaseFont /SimSun /CIDToGIDMap /Identity '
        b'/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> '
        b'/FontDescriptor 7 0 R /DW 1000 >>',
        b'<< /Type /FontDescriptor /FontName /SimSun /Flags 6 /FontBBox [0 -141 1000 859] '
        b'/ItalicAngle 0 /Ascent 859 /Descent -141 /CapHeight 859 /StemV 80 >>',
        b'<< /Length %d >>\nstream\n' % len(cmap) + cmap + b'\nendstream',
    ]

def write(name, chars, content):
    content = content.encode()
    objects = [
        b'<< /Type /Catalog /Pages 2 0 R >>',
        b'<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
        b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources '
        b'<< /Font << /F1 5 0 R /F2 9 0 R >> >> >>',
        b'<< /Length %d >>\nstream\n' % len(content) + content + b'\nendstream',
    ] + cjk_font(chars) + [b'<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>']
    data = b'%PDF-1.4\n'
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(data))
        data += b'%d 0 obj\n' % number + body + b'\nendobj\n'
    xref = len(data)
    data += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    for offset in offsets:
        data += b'%010d 00000 n \n' % offset
    data += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (
        len(objects) + 1, xref)
    open(f'{out}/{name}', 'wb').write(data)

def codes(chars, text):
    return ''.join(f'{chars.index(c) + 1:04X}' for c in text)

# One text object per glyph, each 12 pt wide and 12 pt from the next.
# Numbers are runs of Latin glyphs of their own.
invoice = [['购买方名称：中国移动通信集团有限公司'], ['金额'], ['开票日期', '2025', '年', '10', '月']]
chars = sorted(set(''.join(c for line in invoice for c in ''.join(line) if not c.isdigit())))
content = ''
for row, runs in enumerate(invoice):
    y = 760 - 40 * row
    x = 72
    for run in runs:
        if run.isdigit():
            content += f'BT /F2 12 Tf 1 0 0 1 {x} {y} Tm ({run}) Tj ET\n'
            x += 7 * len(run) + 12
            continue
        for c in run:
            content += f'BT /F1 12 Tf 1 0 0 1 {x} {y} Tm <{codes(chars, c)}> Tj ET\n'
            x += 24
content += 'BT /F2 12 Tf 72 600 Td (Invoice total 2023 paid) Tj ET\n'
# Latin text and CJK side by side on one line, set as a writer sets them, a space between.
content += 'BT /F2 12 Tf 72 560 Td (IP ) Tj ET\n'
content += f'BT /F1 12 Tf 1 0 0 1 96 560 Tm <{codes(chars, "金额")}> Tj ET\n'
write('glyphs.pdf', chars, content)

# ⼦ U+2F26 (子), ⼀ U+2F00 (一), ⽤ U+2F64 (用), ⻔ U+2ED4 (门), ⻓ U+2ED3 (长); ⺅ U+2E85 stays.
radical_lines = ['电\u2f26发票\u2f00式两份', '\u2f64例\u2ed4户\u2ed3度', '偏旁\u2e85']
chars = sorted(set(''.join(radical_lines)))
content = ''
for row, line in enumerate(radical_lines):
    content += f'BT /F1 12 Tf 72 {760 - 40 * row} Td <{codes(chars, line)}> Tj ET\n'
write('radicals.pdf', chars, content)
PY
