#!/usr/bin/env bash
# Writes tests/data/documents/scan.pdf: two pages that are only images, as a scanner makes them
# (a JPEG of grey noise with dark bars for lines of print, from a fixed seed), and no text at all;
# and blank.pdf: two pages with neither text nor image.
# ImageMagick draws the picture; its policy on Debian forbids writing PDF, so the PDF around the
# JPEG is written here, object by object.
# Needs: convert (imagemagick), python3. CI does not run this: the fixture is committed.
#   tests/data/make_scan_pdf.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/quarlex-scan-XXXXXX)
trap 'rm -rf "$work"' EXIT
convert -size 170x240 xc:white -fill black -draw "rectangle 15,20 155,30" \
        -draw "rectangle 15,45 120,55" -draw "rectangle 15,70 140,80" -seed 7 \
        -attenuate 0.4 +noise Gaussian -colorspace Gray -strip -quality 50 "$work/page.jpg"
python3 - "$work/page.jpg" "$root/tests/data/documents" <<'PY'
import sys
jpeg = open(sys.argv[1], 'rb').read()
# The size of the JPEG, from its SOF0/SOF2 marker.
i = 2
while True:
    marker, length = jpeg[i + 1], int.from_bytes(jpeg[i + 2:i + 4], 'big')
    if marker in (0xC0, 0xC2):
        height = int.from_bytes(jpeg[i + 5:i + 7], 'big')
        width = int.from_bytes(jpeg[i + 7:i + 9], 'big')
        break
    i += 2 + length
def write(path, image):
    pages = 2
    objects = [b'<< /Type /Catalog /Pages 2 0 R >>',
               b'<< /Type /Pages /Kids [' + b' '.join(b'%d 0 R' % (4 + 2 * p) for p in range(pages)) +
               b'] /Count %d >>' % pages,
               b'<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray '
               b'/BitsPerComponent 8 /Filter /DCTDecode /Length %d >>\nstream\n' % (width, height, len(jpeg)) +
               jpeg + b'\nendstream' if image else b'<< >>']
    content = b'q 425 0 0 600 85 120 cm /Im0 Do Q' if image else b''
    resources = b'<< /XObject << /Im0 3 0 R >> >>' if image else b'<< >>'
    for p in range(pages):
        objects.append(b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources ' +
                       resources + b' /Contents %d 0 R >>' % (5 + 2 * p))
        objects.append(b'<< /Length %d >>\nstream\n' % len(content) + content + b'\nendstream')
    out = bytearray(b'%PDF-1.4\n%\xe2\xe3\xcf\xd3\n')
    offsets = []
    for n, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b'%d 0 obj\n' % n + body + b'\nendobj\n'
    xref = len(out)
    out += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    out += b''.join(b'%010d 00000 n \n' % o for o in offsets)
    out += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objects) + 1, xref)
    open(path, 'wb').write(out)

write(sys.argv[2] + '/scan.pdf', True)
write(sys.argv[2] + '/blank.pdf', False)
PY
