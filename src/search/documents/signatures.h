#pragma once

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

} // namespace documents
