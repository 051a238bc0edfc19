// Big5 or GB18030 for text that is not UTF-8. Big5's trail bytes (0x40-0x7E, 0xA1-0xFE) are a
// part of GBK's (0x40-0x7E, 0x80-0xFE), so the bytes can decide one way only: a lead byte with a
// trail byte in 0x80-0xA0, or a four-byte sequence of GB18030, is never Big5. That settles most
// GBK text that uses the characters outside GB2312 (the traditional ones among them), whose
// trail bytes in 0x40-0x7E look like Big5's, after a few hundred bytes. Text whose pairs are
// valid in both is told by its share of trail bytes in 0x40-0x7E (Big5 has many, GB2312 none)
// and last by ICU's charset detector, which is costly and sees only the sample.

#include "platform/core/text_encoding.h"

#include <unicode/ucsdet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace platform {

namespace {

// Pairs only GBK has that make a text GBK: a Big5 text with a few broken characters stays Big5.
constexpr int kGbkPairs = 16;
// Fewer double-byte characters than this, and the detector's confidence says little.
constexpr qsizetype kMinimumPairs = 300;
// The sample ends once it holds this many lead bytes (about a thousand double-byte characters):
// enough for the share of trail bytes and the detector's confidence to settle, while the
// detector's cost grows with every byte it sees (it runs every charset it knows).
constexpr qsizetype kSampleLeads = 2000;
// Positions counted at a time by the loop that runs on vectors: its counters are bytes, and a
// multiple of 32 leaves no positions to count one by one after the last vector.
constexpr qsizetype kBlock = 224;

bool isLead(uchar b)
{
    return uchar(b - 0x81) <= 0xFE - 0x81;
}
bool isLowTrail(uchar b)
{
    return uchar(b - 0x40) <= 0x7E - 0x40;
}
// A trail byte of GBK that Big5 has not.
bool isGbkTrail(uchar b)
{
    return uchar(b - 0x80) <= 0xA0 - 0x80;
}
bool isDigit(uchar b)
{
    return uchar(b - 0x30) <= 0x39 - 0x30;
}
// A character of its own wherever it stands: never a trail byte, never inside a four-byte
// sequence (those hold digits).
bool standsAlone(uchar b)
{
    return b < 0x40 && !isDigit(b);
}

// Reads the bytes as both encodings cut them (a lead byte takes the next byte as its trail) and
// counts the sequences only GBK has: a trail byte in 0x80-0xA0, a four-byte sequence.
class GbkOnly
{
public:
    GbkOnly(const uchar *bytes, qsizetype size) : m_p(bytes), m_size(size) {}

    // Reads the characters that start in [from, end). The bytes since the last call hold none of
    // those sequences, so reading may resume after the last byte before `from` that stands alone
    // instead of going through them.
    void read(qsizetype from, qsizetype end)
    {
        if (m_at < from) {
            qsizetype start = from;
            while (start > m_at && !standsAlone(m_p[start - 1]))
                --start;
            m_at = start;
        }
        qsizetype i = m_at;
        while (i < end) {
            // Without a branch but for the rare lead byte followed by a digit: the kinds of
            // pairs follow each other at random, which a branch would guess wrong half the time.
            const uchar lead = isLead(m_p[i]);
            const uchar trail = i + 1 < m_size ? m_p[i + 1] : 0;
            if (lead && isDigit(trail)) [[unlikely]] {
                if (i + 3 < m_size && isLead(m_p[i + 2]) && isDigit(m_p[i + 3])) {
                    ++m_found; // a four-byte sequence
                    i += 4;
                } else {
                    ++i; // a lead byte on its own, in both
                }
                continue;
            }
            m_found += lead & uchar(isGbkTrail(trail));
            // A lead byte takes the next byte unless that is no trail byte in either encoding
            // (below 0x40, 0x7F, 0xFF, or none): then it stands on its own.
            i += 1 + (lead & uchar(trail >= 0x40) & uchar(trail != 0x7F) & uchar(trail != 0xFF));
        }
        m_at = i;
    }
    int found() const { return m_found; }

private:
    const uchar *m_p;
    qsizetype m_size;
    qsizetype m_at = 0;
    int m_found = 0;
};

struct SampleCounts
{
    bool gbkOnly = false; // kGbkPairs sequences only GBK has
    // The sample ends after the first block that brings the lead bytes to kSampleLeads, or at
    // kBig5Sample bytes; nothing yet when the bytes so far do not reach either.
    std::optional<qsizetype> end;
    // Bounds on the pairs (there are at most `leads` and at least half as many) and the lead
    // bytes followed by a trail byte in 0x40-0x7E, over the sample's positions before its last.
    qsizetype leads = 0;
    qsizetype leadThenLow = 0;
};

struct BlockCounts
{
    uchar leads = 0;
    uchar leadThenLow = 0;
    uchar suspects = 0; // lead bytes followed by a byte that may make a sequence only GBK has
};

// Counts the positions [from, to), at most kBlock of them, each with three bytes after it;
// without a branch, so that the loop runs on vectors.
[[gnu::always_inline]] inline BlockCounts countBlockBody(const uchar *p, qsizetype from,
                                                         qsizetype to)
{
    BlockCounts counts;
    for (qsizetype j = from; j < to; ++j) {
        const uchar lead = isLead(p[j]);
        counts.leads += lead;
        counts.leadThenLow += lead & uchar(isLowTrail(p[j + 1]));
        counts.suspects +=
            lead &
            uchar(uchar(isGbkTrail(p[j + 1])) |
                  (uchar(isDigit(p[j + 1])) & uchar(isLead(p[j + 2])) & uchar(isDigit(p[j + 3]))));
    }
    return counts;
}

BlockCounts countBlockDefault(const uchar *p, qsizetype from, qsizetype to)
{
    return countBlockBody(p, from, to);
}

using CountBlock = BlockCounts (*)(const uchar *, qsizetype, qsizetype);

#if defined(__x86_64__) || defined(__i386__)
// Twice the bytes a step where the processor has AVX2.
__attribute__((target("avx2"))) BlockCounts countBlockAvx2(const uchar *p, qsizetype from,
                                                           qsizetype to)
{
    return countBlockBody(p, from, to);
}

CountBlock chooseCountBlock()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? countBlockAvx2 : countBlockDefault;
}
#else
CountBlock chooseCountBlock()
{
    return countBlockDefault;
}
#endif

// One pass over the sample on vectors, block by block; a block where a lead byte is followed by
// a byte only GBK has as a trail (at any alignment) is read pair by pair, and the pass ends
// as soon as enough of those sequences are found. Text that has none (GB2312, Big5) is never
// read pair by pair. `size` is at most kBig5Sample; `whole`: no bytes follow within the sample.
SampleCounts countSample(const uchar *p, qsizetype size, bool whole)
{
    static const CountBlock countBlock = chooseCountBlock();
    SampleCounts counts;
    GbkOnly gbkOnly(p, size);
    const qsizetype vectorEnd = std::max<qsizetype>(0, size - 3);
    for (qsizetype from = 0; from < size; from += kBlock) {
        const qsizetype to = std::min(size, from + kBlock);
        const qsizetype vectorTo = std::min(to, vectorEnd);
        BlockCounts block = vectorTo > from ? countBlock(p, from, vectorTo) : BlockCounts();
        // The last positions, without reading past the sample.
        for (qsizetype j = std::max(from, vectorTo); j < to && j + 1 < size; ++j) {
            if (!isLead(p[j]))
                continue;
            ++block.leads;
            block.leadThenLow += isLowTrail(p[j + 1]);
            block.suspects += isGbkTrail(p[j + 1]) || isDigit(p[j + 1]);
        }
        counts.leads += block.leads;
        counts.leadThenLow += block.leadThenLow;
        if (block.suspects) {
            gbkOnly.read(from, to);
            if (gbkOnly.found() >= kGbkPairs) {
                counts.gbkOnly = true;
                return counts;
            }
        }
        // A block's counts are final once the byte after it is there.
        const bool final = to < size || whole;
        if (final && (counts.leads >= kSampleLeads || to == size))
            counts.end = to;
        if (counts.end || !final)
            break;
    }
    return counts;
}

struct DetectorClose
{
    void operator()(UCharsetDetector *detector) const { ucsdet_close(detector); }
};

// True when ICU's detector is confident in Big5 and less in GB18030.
bool detectorSaysBig5(QByteArrayView bytes)
{
    thread_local std::unique_ptr<UCharsetDetector, DetectorClose> detector;
    UErrorCode status = U_ZERO_ERROR;
    if (!detector) {
        detector.reset(ucsdet_open(&status));
        if (U_FAILURE(status)) {
            detector.reset();
            return false;
        }
    }
    ucsdet_setText(detector.get(), bytes.data(), int32_t(bytes.size()), &status);
    int32_t found = 0;
    const UCharsetMatch **matches = ucsdet_detectAll(detector.get(), &found, &status);
    if (U_FAILURE(status))
        return false;
    int big5 = 0;
    int gb18030 = 0;
    for (int32_t i = 0; i < found; ++i) {
        UErrorCode nameStatus = U_ZERO_ERROR;
        const char *name = ucsdet_getName(matches[i], &nameStatus);
        if (U_FAILURE(nameStatus) || !name)
            continue;
        const int confidence = ucsdet_getConfidence(matches[i], &nameStatus);
        if (std::strcmp(name, "Big5") == 0)
            big5 = std::max(big5, confidence);
        else if (std::strcmp(name, "GB18030") == 0)
            gb18030 = std::max(gb18030, confidence);
    }
    constexpr int kConfident = 50;
    return big5 >= kConfident && big5 > gb18030;
}

// The sample holds no sequence that settles it: Big5 when it has enough double-byte characters,
// many with a trail byte in 0x40-0x7E (about four in ten Big5 characters, no GB2312 one), and
// the detector says so.
bool looksBig5(const uchar *p, qsizetype size, const SampleCounts &counts)
{
    // Most text fails on the bounds alone, without the walk through the pairs.
    const qsizetype leastPairs = (counts.leads + 1) / 2;
    if (counts.leads < kMinimumPairs || 8 * counts.leadThenLow < leastPairs)
        return false;
    qsizetype pairs = 0;
    qsizetype lowTrails = 0;
    for (qsizetype i = 0; i + 1 < size;) {
        if (p[i] >= 0x81 && p[i] <= 0xFE) {
            ++pairs;
            lowTrails += p[i + 1] >= 0x40 && p[i + 1] <= 0x7E;
            i += 2;
        } else {
            ++i;
        }
    }
    if (pairs < kMinimumPairs || 8 * lowTrails < pairs)
        return false;
    return detectorSaysBig5(QByteArrayView(p, size));
}

} // namespace

std::optional<TextEncoding> big5OrGb18030(QByteArrayView window, bool whole)
{
    const qsizetype size = std::min(window.size(), kBig5Sample);
    const auto *p = reinterpret_cast<const uchar *>(window.data());
    const SampleCounts counts = countSample(p, size, whole || window.size() >= kBig5Sample);
    if (counts.gbkOnly)
        return TextEncoding::Gb18030;
    if (!counts.end)
        return whole ? std::optional(TextEncoding::Gb18030) : std::nullopt; // whole: no bytes

    return looksBig5(p, *counts.end, counts) ? TextEncoding::Big5 : TextEncoding::Gb18030;
}

} // namespace platform
