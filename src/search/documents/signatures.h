#pragma once

#include "search/ocr/picture_signature.h"

#include <QByteArray>
#include <QByteArrayView>

// The first bytes that start each document family, shared by recognition and by the byte check
// that runs before it (which must not need any reader).
namespace documents {

inline constexpr char kZipSignature[] = "PK\x03\x04";
inline constexpr char kOle2Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
inline constexpr char kPdfSignature[] = "%PDF-";
inline constexpr char kRtfSignature[] = "{\\rtf";
// A compiled help file (.chm).
inline constexpr char kChmSignature[] = "ITSF";

inline bool startsWith(QByteArrayView head, const char *signature, qsizetype size)
{
    return head.size() >= size && head.first(size) == QByteArrayView(signature, size);
}

// True when `head` starts as an Internet message does (a mail saved as .eml, a web page saved as
// .mht): a block of header lines ("Name: value", folded lines starting with a blank) from the
// first byte to an empty line or to the end of `head`, at least two of them, among them one that
// only messages have at their start. A mbox "From " line may come first.
inline bool looksLikeMessage(QByteArrayView head)
{
    static constexpr const char *kMessageHeaders[] = {
        "mime-version",     "received",       "return-path",  "message-id", "x-mailer",
        "delivered-to",     "x-mimeole",      "thread-index", "x-unsent",   "x-originating-ip",
        "x-mozilla-status", "dkim-signature", "x-qq-mid",     "x-sender"};
    if (head.isEmpty() ||
        !((head[0] >= 'A' && head[0] <= 'Z') || (head[0] >= 'a' && head[0] <= 'z')))
        return false;
    qsizetype at = 0;
    if (head.startsWith("From ")) {
        const qsizetype end = head.indexOf('\n');
        if (end < 0)
            return false;
        at = end + 1;
    }
    int headers = 0;
    bool telling = false;
    while (at < head.size()) {
        qsizetype end = head.indexOf('\n', at);
        const bool cut = end < 0; // the last line, cut off by the end of the head
        if (cut)
            end = head.size();
        QByteArrayView line = head.sliced(at, end - at);
        if (line.endsWith('\r'))
            line.chop(1);
        at = end + 1;
        if (line.isEmpty())
            break; // the end of the header block
        if (line[0] == ' ' || line[0] == '\t') {
            if (headers == 0)
                return false;
            continue;
        }
        qsizetype colon = 0;
        while (colon < line.size() && line[colon] != ':' && line[colon] > ' ' &&
               uchar(line[colon]) < 0x7F)
            ++colon;
        if (colon == line.size() && cut)
            break;
        if (colon == 0 || colon == line.size() || line[colon] != ':')
            return false;
        ++headers;
        const QByteArray name = line.first(colon).toByteArray().toLower();
        for (const char *known : kMessageHeaders)
            telling = telling || name == known;
    }
    return headers >= 2 && telling;
}

// True when a document whose first bytes are `head` is recognised from all of its bytes, not
// from a stream: the ZIP packages (entry list at the end), compound files (directory anywhere),
// PDF files (cross references at the end) and messages (parts found through all of it).
inline bool recognisedWhole(QByteArrayView head)
{
    return startsWith(head, kZipSignature, 4) || startsWith(head, "PK\x05\x06", 4) ||
           startsWith(head, kOle2Signature, 8) || startsWith(head, kPdfSignature, 5) ||
           looksLikeMessage(head);
}

// True when `head` (a file's first bytes) starts as some document does: the signatures of the
// registry's rows, told before any reader is loaded. False tells for sure that no reader knows
// the file (the registry's own test holds every row to it).
inline bool mayBeDocument(QByteArrayView head)
{
    return startsWith(head, kPdfSignature, 5) || startsWith(head, kZipSignature, 4) ||
           startsWith(head, kOle2Signature, 8) || startsWith(head, kRtfSignature, 5) ||
           startsWith(head, kChmSignature, 4) || ocr::isPicture(head) || looksLikeMessage(head);
}

} // namespace documents
