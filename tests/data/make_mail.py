#!/usr/bin/env python3
"""Writes the mail and saved-page fixtures of tests/data/documents/mail with Python's email
package: a mail with a GBK quoted-printable text part, a UTF-8 base64 HTML part, a .docx
attachment named in GBK by RFC 2231, a text attachment named by an RFC 2047 GB2312 word, an
attached message and a preamble; a page saved as .mht (multipart/related, gb2312 HTML in
quoted-printable, a picture); and a ZIP holding the mail. Run from anywhere; the output is
committed."""

import base64
import io
import os
import zipfile
from email import encoders
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.base import MIMEBase
from email.mime.message import MIMEMessage
from email.mime.multipart import MIMEMultipart

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "documents", "mail")
os.makedirs(out, exist_ok=True)


def text_part(text, subtype, codec, cte):
    part = EmailMessage()
    part.set_content(text.encode(codec), "text", subtype, cte=cte)
    part.set_param("charset", codec)
    return part


def qp_text(text, subtype, codec):
    return text_part(text, subtype, codec, "quoted-printable")


def b64_text(text, subtype, codec):
    return text_part(text, subtype, codec, "base64")


def word(text, codec):
    """An RFC 2047 encoded-word in `codec`, named as mail programs name it."""
    return "=?%s?B?%s?=" % (codec, base64.b64encode(text.encode(codec)).decode())


inner = MIMEMultipart()
inner["Subject"] = word("内层邮件", "utf-8")
inner["From"] = "inner@example.com"
inner["To"] = "zhang@example.com"
inner.attach(qp_text("内层正文 NestedMailWord\n", "plain", "utf-8"))

mail = MIMEMultipart("mixed")
mail["Subject"] = word("季度合同", "gb2312") + " SubjectWord"
mail["From"] = word("张三", "gb2312") + " <zhang@example.com>"
mail["To"] = "li@example.com"
mail["Date"] = "Tue, 08 Dec 2026 10:00:00 +0800"
mail["Message-ID"] = "<fixture-1@example.com>"
mail.preamble = "PreambleWord: no mail client shows this."
mail.attach(qp_text("纯文本正文 PlainBodyWord，批量查找。\n", "plain", "gbk"))
mail.attach(b64_text("<html><body><p>网页正文 <b>HtmlBody</b>Word</p></body></html>", "html",
                     "utf-8"))
with open(os.path.join(here, "documents", "runs.docx"), "rb") as f:
    docx = MIMEApplication(f.read(), "vnd.openxmlformats-officedocument.wordprocessingml.document")
docx.add_header("Content-Disposition", "attachment", filename=("gbk", "", "合同.docx"))
mail.attach(docx)
quote = b64_text("报价 AttachedTextWord\n", "plain", "utf-8")
quote["Content-Disposition"] = 'attachment; filename="%s"' % word("报价单.txt", "gb2312")
mail.attach(quote)
mail.attach(MIMEMessage(inner))
eml = mail.as_bytes()
with open(os.path.join(out, "mail.eml"), "wb") as f:
    f.write(eml)

page = MIMEMultipart("related", type="text/html")
# As Internet Explorer writes it: a name of encoded words and no address.
page["From"] = word("由 Windows Internet Explorer 8 保存", "gb2312")
page["Subject"] = word("保存的网页", "gb2312")
page["Date"] = "Tue, 08 Dec 2026 10:00:00 +0800"
page["MIME-Version"] = "1.0"
html = qp_text("<html><head><title>网页标题</title>"
               "<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\"></head>"
               "<body><h1>保存的网页 SavedPageWord</h1><p>概率论与数理统计</p>"
               # Word's conditional sections around a picture, in a comment and outside one.
               "<p>图<!--[if gte vml 1]><v:shape>VmlShapeWord</v:shape><![endif]-->"
               "<![if !vml]><img src=\"logo.png\"><![endif]>示</p></body></html>",
               "html", "gb2312")
html["Content-Location"] = "file:///C:/page.htm"
page.attach(html)
png = MIMEBase("image", "png")
png.set_payload(base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg=="))
encoders.encode_base64(png)
png["Content-Location"] = "file:///C:/logo.png"
page.attach(png)
with open(os.path.join(out, "page.mht"), "wb") as f:
    f.write(page.as_bytes())

buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("notes.txt", "nothing here\n")
    z.writestr("mail.eml", eml)
with open(os.path.join(out, "mail.zip"), "wb") as f:
    f.write(buffer.getvalue())
