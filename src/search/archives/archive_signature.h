#pragma once

#include <QByteArrayView>

// The first bytes that tell archives and compressed streams, as byte checks only: the program
// tells an archive before any archive reader is loaded.
namespace archives {

inline bool startsWith(QByteArrayView head, QByteArrayView signature, qsizetype at = 0)
{
    return head.size() >= at + signature.size() && head.sliced(at, signature.size()) == signature;
}

// The signatures of the single compressed streams, whose one member is the decompressed bytes.
inline bool isCompressedStream(QByteArrayView head)
{
    return startsWith(head, "\x1F\x8B\x08") ||
           (startsWith(head, "BZh") && startsWith(head, "1AY&SY", 4)) ||
           startsWith(head, QByteArrayView("\xFD"
                                           "7zXZ\x00",
                                           6)) ||
           startsWith(head, "\x28\xB5\x2F\xFD");
}

// True when `head` starts as an archive read member by member does (looksLikeArchive).
inline bool hasArchiveSignature(QByteArrayView head)
{
    return startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06") ||
           startsWith(head, "7z\xBC\xAF\x27\x1C") ||
           startsWith(head, QByteArrayView("Rar!\x1A\x07\x00", 7)) ||
           startsWith(head, QByteArrayView("Rar!\x1A\x07\x01\x00", 8)) ||
           startsWith(head, "ustar", 257) || isCompressedStream(head);
}

} // namespace archives
