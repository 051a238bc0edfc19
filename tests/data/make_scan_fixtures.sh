#!/usr/bin/env bash
# Writes the scans and pictures of unusual sizes into tests/data/documents/ocr/:
#   oversized.pdf  two pages of 1225 x 1800 pt (17 x 25 inches) that are only 96 dpi JPEG strips,
#                  as an office scanner writes a large sheet: 超大扫描第一页 on page 1
#   a4-600dpi.jpg  an A4 page scanned at 600 dpi (4960 x 7016, 35 Mpx), mostly white
#   pages.tif      a 3-page black-and-white TIFF (G4, as fax and scanners write it), 传真第三页 on
#                  page 3 only
#   frames.gif     a 2-frame GIF, 动画第二帧 in the second frame only
#   giant.png      a PNG header claiming 65535 x 65535 pixels, with one row of data
# Needs: convert (imagemagick), python3, fonts-wqy-microhei. CI does not run this: the fixtures
# are committed.
#   tests/data/make_scan_fixtures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/tests/data/documents/ocr"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
work=$(mktemp -d /tmp/quarlex-scans-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# draw WIDTH HEIGHT DPI POINTS TEXT OUT [more convert options]: TEXT in black on white.
draw() {
    local width=$1 height=$2 dpi=$3 points=$4 text=$5 file=$6
    shift 6
    convert -size "${width}x${height}" xc:white -font "$font" -pointsize "$points" -density "$dpi" \
            -units PixelsPerInch -fill black -interline-spacing 20 \
            -annotate "+$((dpi / 2))+$((dpi * 2 / 3))" "$text" "$@" -colorspace Gray -strip "$file"
}

# 1225 pt at 96 dpi is 1633 pixels; each page is four strips of 600 rows.
draw 1633 600 96 28 $'超大扫描第一页\nOversized sheet one' "$work/s1.jpg" -quality 60
draw 1633 600 96 28 $'第二页的图纸说明\nSheet two notes' "$work/s2.jpg" -quality 60
convert -size 1633x600 xc:white -colorspace Gray -strip -quality 60 "$work/white.jpg"

draw 4960 7016 600 14 $'六百点扫描件\nScanned at 600 dpi' "$out/a4-600dpi.jpg" -quality 40

for n in 1 2 3; do
    text=$'第'"$n"$'页的普通内容\nFax page '"$n"
    [ "$n" = 3 ] && text=$'传真第三页\nFax page 3'
    draw 1700 600 200 14 "$text" "$work/fax$n.png" -threshold 50%
done
convert "$work/fax1.png" "$work/fax2.png" "$work/fax3.png" -compress Group4 -density 200 \
        -units PixelsPerInch "$out/pages.tif"

draw 1000 330 300 14 $'第一帧没有关键字\nFirst frame' "$work/frame1.png"
draw 1000 330 300 14 $'动画第二帧\nSecond frame' "$work/frame2.png"
convert -delay 100 "$work/frame1.png" "$work/frame2.png" -alpha off -colors 16 "$out/frames.gif"

python3 - "$out" "$work" <<'PY'
import struct, sys, zlib
out, work = sys.argv[1], sys.argv[2]

def jpeg_size(jpeg):
    i = 2
    while True:
        marker, length = jpeg[i + 1], int.from_bytes(jpeg[i + 2:i + 4], 'big')
        if marker in (0xC0, 0xC2):
            return (int.from_bytes(jpeg[i + 7:i + 9], 'big'),
                    int.from_bytes(jpeg[i + 5:i + 7], 'big'))
        i += 2 + length

# pages: lists of JPEG strips drawn top to bottom across the page's width, at 96 dpi.
def write(path, pages, width_pt, height_pt):
    objects = [b'<< /Type /Catalog /Pages 2 0 R >>', None]
    kids = []
    images = {}
    def image(jpeg):
        if jpeg not in images:
            w, h = jpeg_size(jpeg)
            objects.append(b'<< /Type /XObject /Subtype /Image /Width %d /Height %d '
                           b'/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode '
                           b'/Length %d >>\nstream\n' % (w, h, len(jpeg)) + jpeg + b'\nendstream')
            images[jpeg] = (len(objects), w, h)
        return images[jpeg]
    for strips in pages:
        content, names, top = b'', b'', height_pt
        for n, jpeg in enumerate(strips):
            ref, w, h = image(jpeg)
            sw, sh = w * 72 / 96, h * 72 / 96
            top -= sh
            content += b'q %.2f 0 0 %.2f 0 %.2f cm /Im%d Do Q\n' % (sw, sh, top, n)
            names += b'/Im%d %d 0 R ' % (n, ref)
        objects.append(b'<< /Length %d >>\nstream\n' % len(content) + content + b'endstream')
        objects.append(b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] ' % (width_pt, height_pt) +
                       b'/Resources << /XObject << ' + names + b'>> >> /Contents %d 0 R >>' % len(objects))
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

s1, s2, white = (open(work + '/' + n, 'rb').read() for n in ('s1.jpg', 's2.jpg', 'white.jpg'))
write(out + '/oversized.pdf', [[s1, white, white, white], [s2, white, white, white]], 1225, 1800)

# A PNG that claims 65535 x 65535 grey pixels and holds one row.
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 65535, 65535, 8, 0, 0, 0, 0)) +
       chunk(b'IDAT', zlib.compress(b'\0' + b'\xff' * 65535)) + chunk(b'IEND', b''))
open(out + '/giant.png', 'wb').write(png)
PY
ls -l "$out"
