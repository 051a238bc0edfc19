#include "search/documents/ole2/word97_tables.h"

#include "search/documents/ole2/compound_file.h"

#include <QSet>

#include <algorithm>
#include <limits>

namespace documents::word97 {

namespace {

// The size of the operand of the property modifier `sprm` whose operand starts at `at` of
// `grpprl` ([MS-DOC] 2.2.5.1, Sprm.spra), or -1 when it does not fit.
qint64 operandSize(QByteArrayView grpprl, qsizetype at, quint16 sprm)
{
    switch (sprm >> 13) {
    case 0:
    case 1:
        return 1;
    case 2:
    case 4:
    case 5:
        return 2;
    case 3:
        return 4;
    case 7:
        return 3;
    default:
        break;
    }
    if (!fits(grpprl, at, 1))
        return -1;
    if (sprm == 0xD608) { // sprmTDefTable: a 16-bit size, one more than what follows it
        if (!fits(grpprl, at, 2))
            return -1;
        return 2 + std::max(0, int(le16(grpprl, at)) - 1);
    }
    const quint8 size = u8At(grpprl, at);
    if (sprm == 0xC615 && size == 255) { // sprmPChgTabs: deleted tabs, then added tabs
        const qint64 deleted = at + 1;
        if (!fits(grpprl, deleted, 1))
            return -1;
        const qint64 added = deleted + 1 + 4 * qint64(u8At(grpprl, deleted));
        if (!fits(grpprl, added, 1))
            return -1;
        return added + 1 + 3 * qint64(u8At(grpprl, added)) - at;
    }
    return 1 + size;
}

// True when the paragraph properties `grpprl` mark a table-terminating paragraph: the end of a
// table row (sprmPFTtp), or of a row of a table inside a cell (sprmPFInnerTtp).
bool endsTableRow(QByteArrayView grpprl)
{
    qsizetype at = 0;
    while (fits(grpprl, at, 2)) {
        const quint16 sprm = le16(grpprl, at);
        at += 2;
        const qint64 size = operandSize(grpprl, at, sprm);
        if (size < 0 || !fits(grpprl, at, size))
            return false;
        if ((sprm == 0x2417 || sprm == 0x244C) && u8At(grpprl, at) != 0)
            return true;
        at += size;
    }
    return false;
}

} // namespace

FibStatus readFib(QByteArrayView w, Fib &fib)
{
    if (!fits(w, 0, 34) || le16(w, 0) != kFibIdent)
        return FibStatus::Damaged;
    const quint16 flags = le16(w, 0x0A);
    // fEncrypted, and fObfuscated which only qualifies it: both need the password.
    if (flags & 0x0100)
        return FibStatus::Encrypted;
    fib.table1 = flags & 0x0200;
    const qint64 rgLwCount = 34 + 2 * qint64(le16(w, 32));
    if (!fits(w, rgLwCount, 2))
        return FibStatus::Damaged;
    const quint16 cslw = le16(w, rgLwCount);
    const qint64 rgLw = rgLwCount + 2;
    if (cslw < 11 || !fits(w, rgLw, 4 * qint64(cslw) + 2))
        return FibStatus::Damaged;
    const auto ccp = [&](int index) { return qint64(qint32(le32(w, rgLw + 4 * index))); };
    fib.ccpText = ccp(3);
    fib.ccpFtn = ccp(4);
    fib.ccpHdd = ccp(5);
    fib.ccpAtn = ccp(7);
    fib.ccpEdn = ccp(8);
    fib.ccpTxbx = ccp(9);
    for (const qint64 count :
         {fib.ccpText, fib.ccpFtn, fib.ccpHdd, fib.ccpAtn, fib.ccpEdn, fib.ccpTxbx}) {
        if (count < 0)
            return FibStatus::Damaged;
    }
    const qint64 rgFcLcbCount = rgLw + 4 * qint64(cslw);
    const quint16 pairs = le16(w, rgFcLcbCount);
    const qint64 rgFcLcb = rgFcLcbCount + 2;
    if (pairs < 34 || !fits(w, rgFcLcb, 8 * qint64(pairs)))
        return FibStatus::Damaged;
    const auto pair = [&](int index, quint32 &fc, quint32 &lcb) {
        fc = le32(w, rgFcLcb + 8 * index);
        lcb = le32(w, rgFcLcb + 8 * index + 4);
    };
    pair(11, fib.fcPlcfHdd, fib.lcbPlcfHdd);
    pair(13, fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx);
    pair(33, fib.fcClx, fib.lcbClx);
    return FibStatus::Ok;
}

// The pieces of the Clx ([MS-DOC] 2.9.38) at `fc` in the table stream: property modifiers (Prc,
// 0x01) first, which hold no text, then the piece table (Pcdt, 0x02).
std::optional<QList<Piece>> readPieces(QByteArrayView table, quint32 fc, quint32 lcb)
{
    if (!fits(table, fc, lcb))
        return std::nullopt;
    const QByteArrayView clx = table.sliced(fc, lcb);
    qsizetype at = 0;
    while (at < clx.size() && u8At(clx, at) == 0x01) {
        if (!fits(clx, at + 1, 2))
            return std::nullopt;
        const qint16 size = qint16(le16(clx, at + 1));
        if (size < 0)
            return std::nullopt;
        at += 3 + size;
    }
    if (!fits(clx, at, 5) || u8At(clx, at) != 0x02)
        return std::nullopt;
    const quint32 size = le32(clx, at + 1);
    at += 5;
    if (!fits(clx, at, size) || size < 4 || (size - 4) % 12 != 0)
        return std::nullopt;
    const qsizetype count = (size - 4) / 12;
    const qsizetype descriptors = at + 4 * (count + 1);
    QList<Piece> pieces;
    pieces.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 cpStart = le32(clx, at + 4 * i);
        const qint64 cpEnd = le32(clx, at + 4 * (i + 1));
        // Pieces follow one another in character positions.
        if (cpEnd < cpStart || (!pieces.isEmpty() && cpStart != pieces.last().cpEnd))
            return std::nullopt;
        const quint32 fcCompressed = le32(clx, descriptors + 8 * i + 2);
        const bool compressed = fcCompressed & 0x40000000;
        const qint64 offset = fcCompressed & 0x3FFFFFFF;
        pieces.append({cpStart, cpEnd, compressed ? offset / 2 : offset, compressed});
    }
    return pieces;
}

RowEnds::RowEnds(QByteArrayView word, QByteArrayView table, const Fib &fib)
{
    if (!fits(table, fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx) || fib.lcbPlcfBtePapx < 4)
        return;
    const QByteArrayView plc = table.sliced(fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx);
    const qsizetype count = (plc.size() - 4) / 8;
    QSet<quint32> pages; // a page named twice is read once
    for (qsizetype i = 0; i < count; ++i) {
        const quint32 page = le32(plc, 4 * (count + 1) + 4 * i) & 0x3FFFFF;
        if (!pages.contains(page)) {
            pages.insert(page);
            readPage(word, qint64(page) * 512);
        }
    }
    std::sort(m_ranges.begin(), m_ranges.end());
}

bool RowEnds::contains(qint64 fc) const
{
    auto after =
        std::upper_bound(m_ranges.begin(), m_ranges.end(),
                         std::pair<qint64, qint64>(fc, std::numeric_limits<qint64>::max()));
    return after != m_ranges.begin() && fc < std::prev(after)->second;
}

void RowEnds::readPage(QByteArrayView word, qint64 start)
{
    constexpr qsizetype kPage = 512;
    if (!fits(word, start, kPage))
        return;
    const QByteArrayView page = word.sliced(start, kPage);
    const qsizetype runs = u8At(page, kPage - 1);
    const qsizetype properties = 4 * (runs + 1);
    if (properties + 13 * runs > kPage - 1)
        return;
    for (qsizetype i = 0; i < runs; ++i) {
        const qsizetype papx = 2 * qsizetype(u8At(page, properties + 13 * i));
        if (papx == 0 || papx >= kPage - 1)
            continue;
        // PapxInFkp: a count of 16-bit words, or 0 and the count in the next byte.
        qsizetype from = papx + 1;
        qsizetype size = 2 * qsizetype(u8At(page, papx)) - 1;
        if (size < 0) {
            from = papx + 2;
            size = 2 * qsizetype(u8At(page, papx + 1));
        }
        // GrpPrlAndIstd: the style index, then the property modifiers.
        if (size < 2 || !fits(page, from, size))
            continue;
        if (endsTableRow(page.sliced(from + 2, size - 2)))
            m_ranges.emplace_back(le32(page, 4 * i), le32(page, 4 * (i + 1)));
    }
}

// The stories of the header document that hold text, headers before footers: Plcfhdd ([MS-DOC]) has
// six separator stories, then per section the even, odd and first-page headers and footers. Each
// story ends with a paragraph mark that belongs to no paragraph.
QList<std::pair<qint64, qint64>> headerStories(QByteArrayView table, const Fib &fib)
{
    QList<std::pair<qint64, qint64>> headers, footers;
    if (!fits(table, fib.fcPlcfHdd, fib.lcbPlcfHdd))
        return headers;
    const QByteArrayView plc = table.sliced(fib.fcPlcfHdd, fib.lcbPlcfHdd);
    const qint64 start = fib.ccpText + fib.ccpFtn;
    const qsizetype stories = plc.size() / 4 - 1;
    for (qsizetype i = 6; i < stories; ++i) {
        const qint64 from = le32(plc, 4 * i);
        const qint64 to = std::min<qint64>(le32(plc, 4 * (i + 1)), fib.ccpHdd);
        if (to - 1 <= from)
            continue;
        // Of the six stories of a section, the third, fourth and sixth are footers.
        const qsizetype kind = (i - 6) % 6;
        (kind == 2 || kind == 3 || kind == 5 ? footers : headers)
            .append({start + from, start + to - 1});
    }
    return headers + footers;
}

} // namespace documents::word97
