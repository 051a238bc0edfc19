#!/usr/bin/env python3
"""Writes the mail corpora of bench/mail.sh, the same bytes for the same arguments (fixed seed):

  gen_mail.py DIR COUNT SEED

  DIR/eml/     COUNT mails of about 30 KiB: a GBK HTML body in quoted-printable, Chinese text
  DIR/docx/    COUNT .docx documents of a few tens of KiB of Chinese text, one per mail
  DIR/eml-docx/ the same mails, each carrying its .docx as a base64 attachment

No text holds the keyword 关键字."""

import base64
import io
import os
import random
import sys
import zipfile
from email.message import EmailMessage
from email.utils import format_datetime
from datetime import datetime, timedelta, timezone

KEYWORD = "关键字"
PUNCTUATION = "，，，。、；：！？"


def characters():
    """The 3,755 first-level characters of GB2312, which every GBK decoder knows."""
    chars = []
    for lead in range(0xB0, 0xD8):
        for trail in range(0xA1, 0xFF):
            if lead == 0xD7 and trail > 0xF9:
                break
            chars.append(bytes([lead, trail]).decode("gbk"))
    return chars


class Words:
    def __init__(self, rng):
        self.rng = rng
        pool = characters()
        # A vocabulary of words of two to four characters, drawn once.
        self.words = ["".join(rng.choice(pool) for _ in range(rng.randint(2, 4)))
                      for _ in range(4000)]

    def sentence(self):
        words = [self.rng.choice(self.words) for _ in range(self.rng.randint(4, 12))]
        return "".join(words) + self.rng.choice(PUNCTUATION)

    def paragraph(self, chars):
        text = ""
        while len(text) < chars:
            text += self.sentence()
        return text.replace(KEYWORD, "关建字")


def html_body(words, chars):
    parts = ["<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"
             "<style>p{margin:0}</style></head><body>"]
    written = 0
    while written < chars:
        text = words.paragraph(words.rng.randint(80, 400))
        written += len(text)
        if words.rng.random() < 0.15:
            parts.append("<table><tr><td>%s</td><td>%s</td></tr></table>"
                         % (text[: len(text) // 2], text[len(text) // 2:]))
        else:
            parts.append("<p><span style=\"font-family:宋体\">%s</span></p>" % text)
    parts.append("</body></html>")
    return "\n".join(parts)


def docx(words, chars):
    paragraphs = []
    written = 0
    while written < chars:
        text = words.paragraph(words.rng.randint(100, 600))
        written += len(text)
        paragraphs.append("<w:p><w:r><w:rPr><w:rFonts w:hint=\"eastAsia\"/></w:rPr>"
                          "<w:t>%s</w:t></w:r></w:p>" % text)
    document = ("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/"
                "2006/main\"><w:body>%s<w:sectPr/></w:body></w:document>" % "".join(paragraphs))
    content_types = (
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
        "relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" ContentType=\"application/vnd."
        "openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>")
    rels = ("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
            "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
            "officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
            "</Relationships>")
    out = io.BytesIO()
    stamp = (2024, 1, 1, 0, 0, 0)
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as package:
        for name, data in (("[Content_Types].xml", content_types), ("_rels/.rels", rels),
                           ("word/document.xml", document)):
            package.writestr(zipfile.ZipInfo(name, stamp), data.encode("utf-8"),
                             zipfile.ZIP_DEFLATED)
    return out.getvalue()


def mail(words, index, body, attachment):
    message = EmailMessage()
    message["Subject"] = "%s（第%d号）" % (words.sentence()[:12], index)
    message["From"] = "张三 <zhangsan%d@example.cn>" % index
    message["To"] = "李四 <lisi@example.cn>"
    start = datetime(2024, 3, 1, 9, 0, tzinfo=timezone(timedelta(hours=8)))
    message["Date"] = format_datetime(start + timedelta(minutes=7 * index))
    message["Message-ID"] = "<bench%d@example.cn>" % index
    message["X-Mailer"] = "Foxmail 7.2"
    message.set_content(body, "html", charset="gbk", cte="quoted-printable")
    if attachment is not None:
        message.add_attachment(attachment, "application",
                               "vnd.openxmlformats-officedocument.wordprocessingml.document",
                               filename="合同%d.docx" % index)
    return message.as_bytes()


def main():
    folder, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    random.seed(seed)  # the MIME boundaries the email package draws
    words = Words(rng)
    for sub in ("eml", "docx", "eml-docx"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    for i in range(1, count + 1):
        body = html_body(words, 4600)
        document = docx(words, 12000)
        name = "m%04d" % i
        with open(os.path.join(folder, "eml", name + ".eml"), "wb") as f:
            f.write(mail(words, i, body, None))
        with open(os.path.join(folder, "docx", name + ".docx"), "wb") as f:
            f.write(document)
        with open(os.path.join(folder, "eml-docx", name + ".eml"), "wb") as f:
            f.write(mail(words, i, body, document))


if __name__ == "__main__":
    main()
