#!/usr/bin/env bash
# Writes the archives the archive tests read (run from anywhere; needs python3, tar, xz, gzip, 7z
# from p7zip-full). The keyword of every archive is 关键字; GBK text is written as Chinese Windows
# writes it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
docs=$here/../documents
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - "$here" "$docs" <<'PY'
import io, os, struct, sys, zipfile, zlib
out, docs = sys.argv[1], sys.argv[2]
gbk = lambda s: s.encode('gbk')

def put(z, name, data, method=zipfile.ZIP_DEFLATED):
    z.writestr(zipfile.ZipInfo(name, (2024, 1, 2, 3, 4, 6)), data, compress_type=method)

# Text members, one of them GBK; a document member; a nested archive; a folder entry.
inner = io.BytesIO()
with zipfile.ZipFile(inner, 'w') as z:
    put(z, '说明.txt', gbk('旧的备份里写着关键字，在第二个文件里。'))
with zipfile.ZipFile(os.path.join(out, 'mail.zip'), 'w') as z:
    put(z, 'readme.txt', b'nothing to see here\n')
    z.writestr(zipfile.ZipInfo('合同/'), b'')
    put(z, '合同/说明.txt', gbk('第一行\r\n这份合同的关键字在第二行里，后面还有一些字。\r\n'))
    with open(os.path.join(docs, 'runs.docx'), 'rb') as f:
        put(z, '合同/2023.docx', f.read())
    put(z, '资料/旧.zip', inner.getvalue(), zipfile.ZIP_STORED)
    put(z, 'utf8.txt', '这是UTF-8的关键字。'.encode('utf-8'))

# A member name written as GBK bytes without the UTF-8 flag: written under an ASCII name of the
# same length, whose bytes are then replaced in the local header and the entry list.
name = gbk('客户/合同.txt')
placeholder = b'A' * 4 + b'/' + b'B' * 4 + b'.txt'
assert len(name) == len(placeholder)
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w') as z:
    put(z, placeholder.decode(), gbk('甲方乙方的关键字'))
data = buf.getvalue()
assert data.count(placeholder) == 2
with open(os.path.join(out, 'gbk-names.zip'), 'wb') as f:
    f.write(data.replace(placeholder, name))

# For the end-to-end test: a nested archive first, a GBK-named member, a document member.
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w') as z:
    put(z, '资料/旧.zip', inner.getvalue(), zipfile.ZIP_STORED)
    put(z, placeholder.decode(), gbk('甲方乙方的关键字'))
    with open(os.path.join(docs, 'runs.docx'), 'rb') as f:
        put(z, '合同/2023.docx', f.read())
data = buf.getvalue()
assert data.count(placeholder) == 2
with open(os.path.join(out, 'attachments.zip'), 'wb') as f:
    f.write(data.replace(placeholder, name))

# A bomb member (far more than 1,000 times its compressed size) between two members that hold the
# keyword.
with zipfile.ZipFile(os.path.join(out, 'bomb.zip'), 'w') as z:
    put(z, 'a.txt', b'first keyword: ' + gbk('关键字'))
    put(z, 'zeros.txt', b'\0' * (100 << 20), zipfile.ZIP_BZIP2)
    put(z, 'b.txt', b'last keyword: ' + gbk('关键字'))

# Archives nested nine deep; the innermost holds the keyword.
data = gbk('最里面的关键字')
name = 'deep.txt'
for level in range(9, 0, -1):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w') as z:
        put(z, name, data)
    data, name = buf.getvalue(), 'level%d.zip' % level
with open(os.path.join(out, 'deep.zip'), 'wb') as f:
    f.write(data)

# ZIP files nested three levels deep, 16 entries a level, as 42.zip is built (five levels there):
# the innermost hold runs of 8 MiB of zero bytes, 32 GiB in all. Each level is deflated once and
# written under 16 names.
def copies(data, count, suffix):
    packed = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = packed.compress(data) + packed.flush()
    crc = zlib.crc32(data)
    body, directory = b'', b''
    for i in range(count):
        name = b'%x' % i + suffix
        fields = struct.pack('<HHHHHIIIHH', 20, 0, 8, 0x6000, 0x5821, crc, len(packed),
                             len(data), len(name), 0)
        directory += (struct.pack('<IH', 0x02014b50, 20) + fields +
                      struct.pack('<HHHII', 0, 0, 0, 0, len(body)) + name)
        body += struct.pack('<I', 0x04034b50) + fields + name + packed
    return body + directory + struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, count, count,
                                          len(directory), len(body), 0)

data = copies(b'\0' * (8 << 20), 16, b'.bin')
for level in range(2):
    data = copies(data, 16, b'.zip')
with open(os.path.join(out, 'nested.zip'), 'wb') as f:
    f.write(data)

# A member whose path climbs out of any folder it is copied to.
with zipfile.ZipFile(os.path.join(out, 'climb.zip'), 'w') as z:
    put(z, '../../evil.txt', gbk('爬出去的关键字'))

# Member names that would start report lines of their own, or show reordered, if shown as they
# are: CR LF with the indents of an entry, a paragraph separator, a right-to-left override.
with zipfile.ZipFile(os.path.join(out, 'forged-names.zip'), 'w') as z:
    put(z, 'y.txt\r\n' + ' ' * 26 + '合同.docx：\r\n' + ' ' * 40 + '伪造摘要', gbk('一号的关键字'))
    put(z, '段\u2029落.txt', gbk('二号的关键字'))
    put(z, 'rlo\u202etxt.exe', gbk('三号的关键字'))

# Cut short in the middle of its second member.
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w') as z:
    put(z, 'first.txt', gbk('完整的关键字'), zipfile.ZIP_STORED)
    put(z, 'second.txt', os.urandom(20000), zipfile.ZIP_STORED)
data = buf.getvalue()
with open(os.path.join(out, 'cut.zip'), 'wb') as f:
    f.write(data[:len(data) // 2])
PY

# Entries laid over one another, written header by header. overlap.zip: a member between two
# members that hold the keyword, named three times more in the entry list at the same local
# header. quoted.zip: each entry's stored bytes are the next entries' local headers and the last
# entry's bytes, as a ZIP that names one payload many times is built.
python3 - "$here" <<'PY'
import os, struct, sys, zlib
out = sys.argv[1]
gbk = lambda s: s.encode('gbk')

def local(name, data):
    return struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, 0, 0, 0x21, zlib.crc32(data),
                       len(data), len(data), len(name), 0) + name

def central(name, data, offset):
    return struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, 0, 0, 0x21,
                       zlib.crc32(data), len(data), len(data), len(name), 0, 0, 0, 0, 0,
                       offset) + name

def finish(body, directory, count):
    return body + directory + struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, count, count,
                                          len(directory), len(body), 0)

members = [(b'a.txt', b'first keyword: ' + gbk('关键字')),
           (b'payload.txt', gbk('重复的关键字') * 200),
           (b'b.txt', b'last keyword: ' + gbk('关键字'))]
body, offsets = b'', []
for name, data in members:
    offsets.append(len(body))
    body += local(name, data) + data
directory = central(*members[0], offsets[0]) + central(*members[1], offsets[1])
for copy in range(3):
    directory += central(b'copy%d.txt' % copy, members[1][1], offsets[1])
directory += central(*members[2], offsets[2])
with open(os.path.join(out, 'overlap.zip'), 'wb') as f:
    f.write(finish(body, directory, 6))

payload = gbk('叠在一起的关键字') * 100
names = [b'1.txt', b'2.txt', b'3.txt']
datas = [payload]
for name in reversed(names[1:]):
    datas.insert(0, local(name, datas[0]) + datas[0])
body = local(names[0], datas[0]) + datas[0]
directory, offset = b'', 0
for name, data in zip(names, datas):
    directory += central(name, data, offset)
    offset += len(local(name, data))
with open(os.path.join(out, 'quoted.zip'), 'wb') as f:
    f.write(finish(body, directory, len(names)))
PY

# A password on one member of a ZIP (the other is searched), and a 7z with AES.
printf '%s' "$(printf '公开的关键字' | iconv -f UTF-8 -t GBK)" > open.txt
printf '秘密的关键字' > secret.txt
rm -f "$here/locked.zip" "$here/locked.7z"
7z a -tzip -mx=1 "$here/locked.zip" open.txt >/dev/null
7z a -tzip -mx=1 -psecret "$here/locked.zip" secret.txt >/dev/null
7z a -t7z -psecret "$here/locked.7z" secret.txt >/dev/null

# A compressed tar with a nested 7z, and a single compressed file.
mkdir -p tree/文档
printf '%s' "$(printf '压缩包里的关键字' | iconv -f UTF-8 -t GBK)" > tree/文档/笔记.txt
7z a -t7z "$work/inner.7z" secret.txt open.txt >/dev/null
cp inner.7z tree/
tar --sort=name --mtime=2024-01-01 --owner=0 --group=0 -C tree -cJf "$here/backup.tar.xz" 文档 inner.7z
printf 'plain text with the 关键字 in it\n' | gzip -n -9 > "$here/notes.txt.gz"

# A compressed tar bomb: one member of 100 MiB of zeros.
mkdir -p bombtree && head -c $((100 << 20)) /dev/zero > bombtree/zeros.bin
tar -C bombtree -cf - zeros.bin | xz -9 > "$here/bomb.tar.xz"
