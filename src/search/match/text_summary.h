#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <vector>

namespace search {

// What a kept text holds, small enough to be read before the text itself: a bitmap with a bit
// for every code unit and every pair of neighbouring code units of the search text, hashed to the
// bitmap's size. The search text is the document's text as the matcher sees it: the fields as
// platform::FieldCutter cuts them, joined with nothing between (so a pair may span two fields).
//
// A keyword that occurs in that text has the bits of all its code units and pairs set, so a
// keyword with a clear bit cannot occur and the text need not be read at all. The test never
// says "absent" wrongly; a set bit only means "perhaps". The size is chosen from the text: the
// smallest power of two bits, within bounds, that keeps at most a quarter of the bits set, so
// that a keyword whose characters all occur, but not next to each other, is still turned away
// mostly by its pairs.
class TextSummary
{
public:
    static constexpr int kMinBitsLog2 = 12; // 512 bytes
    static constexpr int kMaxBitsLog2 = 19; // 64 KiB

    // The bitmap of `text` (the document's text before the field cut): 2^n bits with n between
    // kMinBitsLog2 and kMaxBitsLog2.
    static QByteArray of(QStringView text);

    // What a keyword is tested by: the bits of its code units and of its neighbouring pairs, made
    // once for every summary it is tested against (the compiled keyword holds it).
    struct Probe
    {
        std::vector<quint32> bits;
    };
    static Probe probe(QStringView keyword);

    // False when the keyword of `probe` cannot occur in the search text of the text `bitmap` was
    // made of. An empty keyword occurs in every text. `bitmap` must hold a power of two bytes.
    static bool mayHold(QByteArrayView bitmap, const Probe &probe);
    static bool mayHold(QByteArrayView bitmap, QStringView keyword)
    {
        return mayHold(bitmap, probe(keyword));
    }
};

} // namespace search
