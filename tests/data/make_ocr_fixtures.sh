#!/usr/bin/env bash
# Writes tests/data/documents/ocr/: pictures of known Chinese and English text at 300 dpi, drawn in
# WenQuanYi Micro Hei (a font scripts/deps.sh installs), for the text recognition tests:
#   lines.png    three clean lines, grayscale PNG
#   photo.jpg    two lines turned by 1.5 degrees, with noise, as a phone photo of a page
#   scan.pdf     a PDF page that is only a JPEG of a scanned line (no text)
#   mixed.pdf    a text page, then a scanned page
#   pages.pdf    four scanned pages of three lines, for the progress through a long scan
#   blank.png    a white page
#   corrupt.jpg  photo.jpg with its image data cut short and overwritten
# ImageMagick draws the pictures; its policy on Debian forbids writing PDF, so the PDFs around the
# JPEGs are written here, object by object.
# Needs: convert (imagemagick), python3, fonts-wqy-microhei. CI does not run this: the fixtures
# are committed.
#   tests/data/make_ocr_fixtures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/tests/data/documents/ocr"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
work=$(mktemp -d /tmp/quarlex-ocr-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# draw WIDTH HEIGHT TEXT OUT [more convert options]: TEXT in 14 pt black on white at 300 dpi.
draw() {
    local width=$1 height=$2 text=$3 file=$4
    shift 4
    convert -size "${width}x${height}" xc:white -font "$font" -pointsize 14 -density 300 \
            -units PixelsPerInch -fill black -interline-spacing 24 -annotate +60+110 "$text" \
            "$@" -colorspace Gray -strip "$file"
}

draw 1000 330 $'采购合同第十二条\n违约金按日计算\nInvoice Number 2024' "$out/lines.png"
draw 900 260 $'报销审批单已签字\nReceipt Total 386' "$work/photo.png"
convert "$work/photo.png" -background white -rotate 1.5 -seed 11 -attenuate 0.3 \
        +noise Gaussian -colorspace Gray -strip -quality 80 "$out/photo.jpg"
draw 900 180 '扫描件印章已核对' "$work/scan.png"
convert "$work/scan.png" -seed 5 -attenuate 0.2 +noise Gaussian -colorspace Gray -strip \
        -quality 75 "$work/scan.jpg"
draw 900 180 '第二页是扫描的图片' "$work/second.png"
convert "$work/second.png" -colorspace Gray -strip -quality 75 "$work/second.jpg"
for n in 1 2 3 4; do
    draw 1100 330 "第${n}页扫描件"$'\nScanned page with several words\nfor the engine to count' \
         "$work/page$n.png"
    convert "$work/page$n.png" -colorspace Gray -strip -quality 75 "$work/page$n.jpg"
done
convert -size 1200x800 xc:white -density 300 -units PixelsPerInch -colorspace Gray -strip \
        "$out/blank.png"
python3 - "$out" "$work" <<'PY'
import sys
out, work = sys.argv[1], sys.argv[2]

def jpeg_size(jpeg):
    i = 2
    while True:
        marker, length = jpeg[i + 1], int.from_bytes(jpeg[i + 2:i + 4], 'big')
        if marker in (0xC0, 0xC2):
            return (int.from_bytes(jpeg[i + 7:i + 9], 'big'),
                    int.from_bytes(jpeg[i + 5:i + 7], 'big'))
        i += 2 + length

# pages: a list of ('text', string) or ('image', jpeg bytes); each page is the image's size at
# 300 dpi, a text page 360 x 100 pt.
def write(path, pages):
    objects = [b'<< /Type /Catalog /Pages 2 0 R >>', None,
               b'<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>']
    kids = []
    for kind, value in pages:
        if kind == 'image':
            width, height = jpeg_size(value)
            objects.append(b'<< /Type /XObject /Subtype /Image /Width %d /Height %d '
                           b'/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode '
                           b'/Length %d >>\nstream\n' % (width, height, len(value)) +
                           value + b'\nendstream')
            image = len(objects)
            w, h = width * 72 / 300, height * 72 / 300
            content = b'q %.2f 0 0 %.2f 0 0 cm /Im0 Do Q' % (w, h)
            resources = b'<< /XObject << /Im0 %d 0 R >> >>' % image
        else:
            w, h = 360, 100
            content = b'BT /F1 18 Tf 20 50 Td (' + value.encode() + b') Tj ET'
            resources = b'<< /Font << /F1 3 0 R >> >>'
        objects.append(b'<< /Length %d >>\nstream\n' % len(content) + content + b'\nendstream')
        objects.append(b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] /Resources ' % (w, h) +
                       resources + b' /Contents %d 0 R >>' % len(objects))
        kids.append(len(objects))
    objects[1] = (b'<< /Type /Pages /Kids [' + b' '.join(b'%d 0 R' % k for k in kids) +
                  b'] /Count %d >>' % len(kids))
    data = bytearray(b'%PDF-1.4\n%\xe2\xe3\xcf\xd3\n')
    offsets = []
    for n, body in enumerate(objects, 1):
        offsets.append(len(data))
        data += b'%d 0 obj\n' % n + body + b'\nendobj\n'
    xref = len(data)
    data += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    data += b''.join(b'%010d 00000 n \n' % o for o in offsets)
    data += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objects) + 1, xref)
    open(path, 'wb').write(data)

scan = open(work + '/scan.jpg', 'rb').read()
second = open(work + '/second.jpg', 'rb').read()
write(out + '/scan.pdf', [('image', scan)])
write(out + '/mixed.pdf', [('text', 'Mixed file first page Alpha'), ('image', second)])
write(out + '/pages.pdf', [('image', open(work + '/page%d.jpg' % n, 'rb').read()) for n in range(1, 5)])

# A JPEG whose markers stop inside its tables, the rest garbage: no decoder can read a picture.
photo = bytearray(open(out + '/photo.jpg', 'rb').read())
cut = 120
open(out + '/corrupt.jpg', 'wb').write(bytes(photo[:cut]) + bytes((i * 37) & 0xFF for i in range(64)))
PY
ls -l "$out"
