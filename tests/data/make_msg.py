#!/usr/bin/python3
"""Writes the Outlook message fixtures (.msg, [MS-OXMSG]) through libgsf's compound file writer
(GsfOutfileMSOle, from Python through GObject introspection):

- documents/mail/outlook.msg: a subject and a sender in UTF-16, a body in 8-bit GBK with the
  message's code page 936, a .docx attachment (documents/runs.docx) with a Chinese long file
  name, and an attached message (embedded, with a UTF-16 subject and body).
- documents/msg/rtf_only.msg: no plain body, only a compressed RTF body (LZFu, with its CRC)
  whose text is GBK \\'xx bytes under \\ansicpg936.
- documents/msg/html_only.msg: only an HTML body, Shift-JIS bytes that declare no charset (the
  encoding rule of text files would read them as GB18030), read by the message's Internet code
  page 932.

Needs python3-gi and gir1.2-gsf-1 (Debian's own python3). Run from anywhere; the output is
committed, CI does not run this."""

import os
import struct
import zlib

import gi

gi.require_version("Gsf", "1")
from gi.repository import Gsf  # noqa: E402

here = os.path.dirname(os.path.abspath(__file__))
documents = os.path.join(here, "documents")

PT_LONG, PT_STRING8, PT_UNICODE, PT_BINARY, PT_OBJECT = 0x0003, 0x001E, 0x001F, 0x0102, 0x000D


def stream_name(prop_id, prop_type):
    return "__substg1.0_%04X%04X" % (prop_id, prop_type)


class Storage:
    """One object's properties: fixed ones go into its property stream, variable ones into
    streams of their own."""

    def __init__(self, header):
        self.header = header
        self.entries = []
        self.streams = {}
        self.children = {}

    def long(self, prop_id, value):
        self.entries.append(struct.pack("<IIII", (prop_id << 16) | PT_LONG, 6, value, 0))

    def unicode(self, prop_id, text):
        data = text.encode("utf-16-le")
        self.streams[stream_name(prop_id, PT_UNICODE)] = data
        self.entries.append(struct.pack("<IIII", (prop_id << 16) | PT_UNICODE, 6,
                                        len(data) + 2, 0))

    def string8(self, prop_id, data):
        self.streams[stream_name(prop_id, PT_STRING8)] = data
        self.entries.append(struct.pack("<IIII", (prop_id << 16) | PT_STRING8, 6,
                                        len(data) + 1, 0))

    def binary(self, prop_id, data):
        self.streams[stream_name(prop_id, PT_BINARY)] = data
        self.entries.append(struct.pack("<IIII", (prop_id << 16) | PT_BINARY, 6, len(data), 0))

    def embedded(self, prop_id, storage):
        self.children[stream_name(prop_id, PT_OBJECT)] = storage
        self.entries.append(struct.pack("<IIII", (prop_id << 16) | PT_OBJECT, 6, 0xFFFFFFFF, 0))

    def write(self, outfile):
        for name, data in sorted(self.streams.items()):
            write_stream(outfile, name, data)
        write_stream(outfile, "__properties_version1.0", self.header + b"".join(self.entries))
        for name, storage in sorted(self.children.items()):
            child = outfile.new_child(name, True)
            storage.write(child)
            child.close()


def write_stream(outfile, name, data):
    child = outfile.new_child(name, False)
    if data:
        child.write(list(data))
    child.close()


def message_header(recipients, attachments):
    # Reserved, next recipient ID, next attachment ID, recipient count, attachment count.
    return struct.pack("<8xIIII8x", recipients, attachments, recipients, attachments)


def write_message(path, root, attachments):
    output = Gsf.OutputStdio.new(path)
    ole = Gsf.OutfileMSOle.new(output)
    nameid = ole.new_child("__nameid_version1.0", True)
    for name in ("__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"):
        write_stream(nameid, name, b"")
    nameid.close()
    root.write(ole)
    for number, attachment in enumerate(attachments):
        child = ole.new_child("__attach_version1.0_#%08X" % number, True)
        attachment.write(child)
        child.close()
    ole.close()


# The dictionary's start ([MS-OXRTFCP]): 207 bytes of RTF most bodies begin with.
PREFIX = (b"{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss "
          b"\\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier"
          b"{\\colortbl\\red0\\green0\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx")
assert len(PREFIX) == 207


def compress_rtf(rtf):
    """LZFu: the longest match in the 4096-byte dictionary at each step (2 to 17 bytes), else a
    literal; a reference to the write position ends the contents."""
    dictionary = bytearray(4096)
    dictionary[: len(PREFIX)] = PREFIX
    write = len(PREFIX)
    tokens = []
    at = 0
    while at < len(rtf):
        best_offset, best_length = 0, 0
        for offset in range(4096):
            if offset == write:
                continue
            # Simulate the copy, which may read bytes it has just written.
            scratch = dictionary[:]
            w, length = write, 0
            while length < 17 and at + length < len(rtf):
                byte = scratch[(offset + length) % 4096]
                if byte != rtf[at + length]:
                    break
                scratch[w] = byte
                w = (w + 1) % 4096
                length += 1
            if length > best_length:
                best_offset, best_length = offset, length
        if best_length >= 2:
            tokens.append(struct.pack(">H", (best_offset << 4) | (best_length - 2)))
            run = best_length
        else:
            tokens.append(rtf[at : at + 1])
            run = 1
        for byte in rtf[at : at + run]:
            dictionary[write] = byte
            write = (write + 1) % 4096
        at += run
    tokens.append(struct.pack(">H", write << 4))
    contents = bytearray()
    for start in range(0, len(tokens), 8):
        group = tokens[start : start + 8]
        control = sum(1 << i for i, token in enumerate(group) if len(token) == 2)
        contents.append(control)
        for token in group:
            contents += token
    crc = ~zlib.crc32(bytes(contents), 0xFFFFFFFF) & 0xFFFFFFFF
    header = struct.pack("<IIII", len(contents) + 12, len(rtf), 0x75465A4C, crc)
    return header + bytes(contents)


def outlook_msg():
    root = Storage(message_header(1, 2))
    root.unicode(0x0037, "季度合同 MsgSubjectWord")
    root.unicode(0x0C1A, "张三")
    root.unicode(0x5D01, "zhangsan@example.com")
    root.unicode(0x0E04, "李四")
    root.long(0x3FDE, 936)
    root.long(0x3FFD, 936)
    root.string8(0x1000, "纯文本正文 MsgBodyWord，批量查找。\r\n".encode("gbk"))

    with open(os.path.join(documents, "runs.docx"), "rb") as docx:
        document = Storage(struct.pack("<8x"))
        document.long(0x3705, 1)
        document.unicode(0x3707, "合同.docx")
        document.unicode(0x3704, "HETONG~1.DOC")
        document.unicode(0x3001, "合同.docx")
        document.binary(0x3701, docx.read())

    inner = Storage(struct.pack("<8xIIII", 0, 0, 0, 0))
    inner.unicode(0x0037, "内层邮件 EmbeddedSubjectWord")
    inner.unicode(0x1000, "内层正文 EmbeddedBodyWord")
    embedded = Storage(struct.pack("<8x"))
    embedded.long(0x3705, 5)
    embedded.unicode(0x3001, "内层邮件")
    embedded.embedded(0x3701, inner)

    write_message(os.path.join(documents, "mail", "outlook.msg"), root, [document, embedded])


def rtf_only_msg():
    rtf = ("{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\r\n"
           "\\pard\\f0\\fs20 RTF" + "".join("\\'%02x" % b for b in "正文".encode("gbk")) +
           " RtfBodyWord\\par\r\n}\r\n").encode("ascii")
    root = Storage(message_header(0, 0))
    root.unicode(0x0037, "RTF OnlySubject")
    root.long(0x3FFD, 936)
    root.binary(0x1009, compress_rtf(rtf))
    os.makedirs(os.path.join(documents, "msg"), exist_ok=True)
    write_message(os.path.join(documents, "msg", "rtf_only.msg"), root, [])


def html_only_msg():
    html = "<html><head><title>見出し</title></head><body><p>日本語の本文 HtmlBodyWord</p></body></html>"
    root = Storage(message_header(0, 0))
    root.unicode(0x0037, "HTML OnlySubject")
    root.long(0x3FDE, 932)
    root.binary(0x1013, html.encode("shift_jis"))
    write_message(os.path.join(documents, "msg", "html_only.msg"), root, [])


outlook_msg()
rtf_only_msg()
html_only_msg()
