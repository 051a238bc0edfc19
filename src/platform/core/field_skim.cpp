#include "platform/core/field_skim.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {

// Bit i of each mask stands for byte i of a 64-byte block.
struct Masks
{
    quint64 quote = 0;
    quint64 delimiter = 0; // comma, CR, LF
    quint64 space = 0;
};

Masks classify(const char *p)
{
    Masks m;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i space = _mm_set1_epi8(' ');
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        const auto bits = [&](__m128i hit) {
            return quint64(unsigned(_mm_movemask_epi8(hit))) << (16 * i);
        };
        m.quote |= bits(_mm_cmpeq_epi8(v, quote));
        m.delimiter |= bits(_mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, lf)));
        m.space |= bits(_mm_cmpeq_epi8(v, space));
    }
#else
    for (int i = 0; i < 64; ++i) {
        const quint64 bit = quint64(1) << i;
        const char c = p[i];
        if (c == '"')
            m.quote |= bit;
        else if (c == ',' || c == '\r' || c == '\n')
            m.delimiter |= bit;
        else if (c == ' ')
            m.space |= bit;
    }
#endif
    return m;
}

// Bit i: the parity of the bits 0..i of x.
quint64 prefixXor(quint64 x)
{
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    return x;
}

// Without a double quote, every delimiter ends a field: the last one is found from the end, 64
// bytes at a time. [begin, limit) holds no quote, and the cutter is not inside a quoted field.
FieldSkim skimUnquoted(const char *begin, const char *limit, FieldState state)
{
    FieldSkim skim;
    skim.reached = limit;
    const char *p = limit;
    while (p - begin >= 64) {
        p -= 64;
        if (const quint64 ends = classify(p).delimiter) {
            skim.fieldEnd = p + 64 - __builtin_clzll(ends);
            return skim;
        }
    }
    while (p > begin) {
        const char c = *--p;
        if (c == ',' || c == '\r' || c == '\n') {
            skim.fieldEnd = p + 1;
            return skim;
        }
    }
    // No field ended: the cutter is inside the field it was in, or in the one that began at the
    // first byte that is not a space.
    const bool began = state == FieldState::Unquoted ||
                       std::find_if(begin, limit, [](char c) { return c != ' '; }) != limit;
    skim.stateAtReached = began ? FieldState::Unquoted : FieldState::Start;
    return skim;
}

} // namespace

// Where the quotes are the cutter's own (each opens or closes a quoted field), the quoted
// stretches follow from the running parity of the quotes. A quote opens a field only at a field's
// start: right after a delimiter or a closing quote, or after spaces that follow one. A quote the
// parity counts as opening anywhere else is an ordinary character of an unquoted field, which
// breaks the parity: the skim stops before its block, and the exact cutter takes over there.
FieldSkim skimFields(const char *begin, const char *limit, FieldState state)
{
    if (state != FieldState::Quoted && !std::memchr(begin, '"', size_t(limit - begin)))
        return skimUnquoted(begin, limit, state);
    FieldSkim skim;
    skim.reached = begin;
    bool inside = state == FieldState::Quoted;
    // A quote at the next byte would open a quoted field.
    bool opens = state == FieldState::Start || state == FieldState::AfterQuote;
    for (const char *p = begin; limit - p >= 64; p += 64) {
        const Masks m = classify(p);
        const quint64 quoted = prefixXor(m.quote) ^ (inside ? ~quint64(0) : 0); // after byte i
        const quint64 opening = m.quote & quoted;
        const quint64 closing = m.quote & ~quoted;
        // Bytes right after a delimiter or a closing quote, and right after the spaces that
        // follow one (the carry of the sum runs through each such run of spaces).
        const quint64 afterBoundary = ((m.delimiter | closing) << 1) | quint64(opens);
        quint64 sum = 0;
        const bool spacesRunOn = __builtin_add_overflow(afterBoundary & m.space, m.space, &sum);
        const quint64 fieldStarts = afterBoundary | (sum & ~m.space);
        if (opening & ~fieldStarts)
            break;
        if (const quint64 ends = m.delimiter & ~quoted)
            skim.fieldEnd = p + 64 - __builtin_clzll(ends);
        inside = quoted >> 63;
        opens = ((m.delimiter | closing) >> 63) || spacesRunOn;
        skim.reached = p + 64;
    }
    skim.stateAtReached =
        inside ? FieldState::Quoted : (opens ? FieldState::Start : FieldState::Unquoted);
    return skim;
}

} // namespace platform
