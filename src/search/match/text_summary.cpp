#include "search/match/text_summary.h"

#include "platform/core/field_cutter.h"

#include <bit>
#include <vector>

namespace search {

namespace {

constexpr int kMaxBits = 1 << TextSummary::kMaxBitsLog2;

// The bit of a code unit or of a pair (the pair's values lie above every unit's), in a bitmap of
// kMaxBits; a smaller bitmap takes its low bits, which is what folding the halves of a larger one
// onto each other gives.
inline quint32 unitBit(char16_t unit)
{
    return quint32((quint64(unit) * 0x9E3779B97F4A7C15ull) >> (64 - TextSummary::kMaxBitsLog2));
}

inline quint32 pairBit(char16_t first, char16_t second)
{
    const quint64 value = (quint64(1) << 32) | (quint64(first) << 16) | second;
    return quint32((value * 0x9E3779B97F4A7C15ull) >> (64 - TextSummary::kMaxBitsLog2));
}

// Receives the fields as the cutter gives them and sets their bits; the pair across the end of
// one field and the start of the next is set too, as the matcher sees the fields joined.
struct SummarySink
{
    std::vector<quint64> &words;
    int previous = -1;

    void set(quint32 bit) { words[bit >> 6] |= quint64(1) << (bit & 63); }
    void append(const char16_t *data, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t unit = data[i];
            set(unitBit(unit));
            if (previous >= 0)
                set(pairBit(char16_t(previous), unit));
            previous = unit;
        }
    }
};

// The bits set in the first `half` words ORed with the next `half`; with the processor's POPCNT
// instruction where it has one (a summary counts thousands of words).
__attribute__((target_clones("popcnt", "default"))) qsizetype foldedBits(const quint64 *words,
                                                                         size_t half)
{
    qsizetype set = 0;
    for (size_t i = 0; i < half; ++i)
        set += std::popcount(words[i] | words[i + half]);
    return set;
}

} // namespace

QByteArray TextSummary::of(QStringView text)
{
    std::vector<quint64> words(kMaxBits / 64);
    SummarySink sink{words};
    platform::FieldCutter<char16_t> cutter;
    const auto *p = reinterpret_cast<const char16_t *>(text.data());
    cutter.cutAll(p, p + text.size(), sink);

    // Halve while the halves folded onto each other keep at most a quarter of the bits set.
    size_t used = words.size();
    while (used > size_t(1) << (kMinBitsLog2 - 6)) {
        const size_t half = used / 2;
        if (foldedBits(words.data(), half) > qsizetype(half) * 64 / 4)
            break;
        for (size_t i = 0; i < half; ++i)
            words[i] |= words[i + half];
        used = half;
    }
    QByteArray bitmap(qsizetype(used) * 8, Qt::Uninitialized);
    for (size_t i = 0; i < used; ++i) {
        for (int b = 0; b < 8; ++b)
            bitmap[qsizetype(i * 8) + b] = char((words[i] >> (8 * b)) & 0xFF);
    }
    return bitmap;
}

TextSummary::Probe TextSummary::probe(QStringView keyword)
{
    Probe made;
    made.bits.reserve(size_t(keyword.size()) * 2);
    for (qsizetype i = 0; i < keyword.size(); ++i) {
        const char16_t unit = keyword[i].unicode();
        made.bits.push_back(unitBit(unit));
        if (i > 0)
            made.bits.push_back(pairBit(keyword[i - 1].unicode(), unit));
    }
    return made;
}

bool TextSummary::mayHold(QByteArrayView bitmap, const Probe &probe)
{
    const quint32 mask = quint32(bitmap.size()) * 8 - 1;
    for (quint32 bit : probe.bits) {
        bit &= mask;
        if (!((quint8(bitmap[bit >> 3]) >> (bit & 7)) & 1))
            return false;
    }
    return true;
}

} // namespace search
