#pragma once

#include "search/ocr/picture_signature.h"

#include <QByteArrayView>

// The first bytes that start each document family, shared by recognition and by the byte check
// that runs before it (which must not need any reader).
namespace documents {

inline constexpr char kZipSignature[] = "PK\x03\x04";
inline constexpr char kOle2Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
inline constexpr char kPdfSignature[] = "%PDF-";
inline constexpr char kRtfSignature[] = "{\\rtf";

inline bool startsWith(QByteArrayView head, const char *signature, qsizetype size)
{
    return head.size() >= size && head.first(size) == QByteArrayView(signature, size);
}

// True when `head` (a file's first bytes) starts as some document does: the signatures of the
// registry's rows, told before any reader is loaded. False tells for sure that no reader knows
// the file (the registry's own test holds every row to it).
inline bool mayBeDocument(QByteArrayView head)
{
    return startsWith(head, kPdfSignature, 5) || startsWith(head, kZipSignature, 4) ||
           startsWith(head, kOle2Signature, 8) || startsWith(head, kRtfSignature, 5) ||
           ocr::isPicture(head);
}

} // namespace documents
