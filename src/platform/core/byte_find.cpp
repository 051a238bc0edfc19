#include "platform/core/byte_find.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUARLEX_X86 1
#endif

namespace platform {

namespace {

// The pair of bytes that the vector search compares: the last two of the needle, which for a
// UTF-8 character are the ones that tell it apart (the lead byte is shared by thousands).
struct Pair
{
    char first;
    char second;
    qsizetype offset; // of `first` in the needle
};

Pair pairOf(QByteArrayView needle)
{
    const qsizetype at = needle.size() - 2;
    return {needle[at], needle[at + 1], at};
}

// Checks the candidate whose pair begins at `p`; returns its start or nullptr.
const char *confirm(const char *p, const char *begin, const char *end, QByteArrayView needle,
                    qsizetype offset)
{
    const char *start = p - offset;
    if (start < begin || start + needle.size() > end)
        return nullptr;
    return std::memcmp(start, needle.data(), size_t(needle.size())) == 0 ? start : nullptr;
}

const char *findPairScalar(const char *p, const char *begin, const char *end, QByteArrayView needle,
                           Pair pair)
{
    for (; p + 1 < end; ++p) {
        if (p[0] == pair.first && p[1] == pair.second) {
            if (const char *hit = confirm(p, begin, end, needle, pair.offset))
                return hit;
        }
    }
    return nullptr;
}

#if QUARLEX_X86
const char *findPairSse2(const char *begin, const char *end, QByteArrayView needle)
{
    const Pair pair = pairOf(needle);
    const __m128i first = _mm_set1_epi8(pair.first);
    const __m128i second = _mm_set1_epi8(pair.second);
    const char *p = begin + pair.offset;
    while (end - p >= 17) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
        while (mask) {
            if (const char *hit = confirm(p + __builtin_ctz(mask), begin, end, needle, pair.offset))
                return hit;
            mask &= mask - 1;
        }
        p += 16;
    }
    return findPairScalar(p, begin, end, needle, pair);
}

__attribute__((target("avx2"))) const char *findPairAvx2(const char *begin, const char *end,
                                                         QByteArrayView needle)
{
    const Pair pair = pairOf(needle);
    const __m256i first = _mm256_set1_epi8(pair.first);
    const __m256i second = _mm256_set1_epi8(pair.second);
    const char *p = begin + pair.offset;
    while (end - p >= 33) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1));
        unsigned mask = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, second))));
        while (mask) {
            if (const char *hit = confirm(p + __builtin_ctz(mask), begin, end, needle, pair.offset))
                return hit;
            mask &= mask - 1;
        }
        p += 32;
    }
    return findPairScalar(p, begin, end, needle, pair);
}

using FindPair = const char *(*)(const char *, const char *, QByteArrayView);

FindPair chooseFindPair()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? findPairAvx2 : findPairSse2;
}
#endif

} // namespace

const char *findBytes(const char *begin, const char *end, QByteArrayView needle)
{
    if (needle.isEmpty() || end - begin < needle.size())
        return nullptr;
    if (needle.size() == 1)
        return static_cast<const char *>(std::memchr(begin, needle[0], size_t(end - begin)));
#if QUARLEX_X86
    static const FindPair findPair = chooseFindPair();
    return findPair(begin, end, needle);
#else
    return findPairScalar(begin + needle.size() - 2, begin, end, needle, pairOf(needle));
#endif
}

} // namespace platform
