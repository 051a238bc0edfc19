#pragma once

#include <QtGlobal>

#include <cstring>

namespace platform::utf8 {

// The rules of Qt's UTF-8 decoder for one character, shared by the encoding check and the
// piecewise decoder so that both always agree with what Qt decodes.

// What readSequence() found at a byte >= 0x80.
enum class Sequence {
    Complete,   // a well-formed character; `length` bytes, value in `uc`
    Invalid,    // not a well-formed start: this one byte is replaced by U+FFFD
    Incomplete, // a valid start cut off by `end`; it may still complete with later bytes
};

struct SequenceResult
{
    Sequence kind;
    int length = 1;
    char32_t uc = 0;
};

inline bool isContinuation(uchar b)
{
    return (b & 0xC0) == 0x80;
}

// Reads the sequence that starts at p, where p < end and *p >= 0x80.
inline SequenceResult readSequence(const uchar *p, const uchar *end)
{
    const uchar b = *p;
    int needed;
    char32_t min;
    char32_t uc;
    if (b <= 0xC1 || b >= 0xF5) {
        return {Sequence::Invalid};
    } else if (b < 0xE0) {
        needed = 2;
        min = 0x80;
        uc = b & 0x1F;
    } else if (b < 0xF0) {
        needed = 3;
        min = 0x800;
        uc = b & 0x0F;
    } else {
        needed = 4;
        min = 0x10000;
        uc = b & 0x07;
    }
    const qsizetype available = end - p - 1;
    if (available < needed - 1) {
        for (qsizetype i = 1; i <= available; ++i) {
            if (!isContinuation(p[i]))
                return {Sequence::Invalid};
        }
        return {Sequence::Incomplete};
    }
    for (int i = 1; i < needed; ++i) {
        if (!isContinuation(p[i]))
            return {Sequence::Invalid};
        uc = (uc << 6) | (p[i] & 0x3F);
    }
    if (uc < min || (uc >= 0xD800 && uc <= 0xDFFF) || uc > 0x10FFFF)
        return {Sequence::Invalid};
    return {Sequence::Complete, needed, uc};
}

// Skips a run of ASCII bytes eight at a time (most text is long runs of ASCII) and returns the
// first position from which fewer than eight bytes remain or a word holds a byte >= 0x80.
inline const uchar *skipAsciiWords(const uchar *p, const uchar *end)
{
    while (end - p >= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            break;
        p += 8;
    }
    return p;
}

} // namespace platform::utf8
