#include "search/documents/ole2/word97.h"

#include "search/documents/ole2/compound_file.h"
#include "search/documents/text_sink.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <limits>
#include <optional>

namespace documents {

namespace {

constexpr quint16 kFibIdent = 0xA5EC;
// Word 97 writes nFib 0x00C1 and later versions more; Word 95 wrote 0x0068.
constexpr quint16 kFirstWord97Fib = 0x00C0;

// The fields of the FIB ([MS-DOC] 2.5.1) read here.
struct Fib
{
    bool encrypted = false;
    bool table1 = false; // the table stream is 1Table, not 0Table
    // Character counts of the subdocuments, in their order in the character-position space:
    // main text, footnotes, headers, (macros, unused), comments, endnotes, text boxes, header
    // text boxes (FibRgLw97 ccpText ... ccpHdrTxbx).
    qint64 ccpText = 0, ccpFtn = 0, ccpHdd = 0, ccpAtn = 0, ccpEdn = 0, ccpTxbx = 0;
    // Offsets and sizes in the table stream (FibRgFcLcb97).
    quint32 fcPlcfHdd = 0, lcbPlcfHdd = 0;
    quint32 fcPlcfBtePapx = 0, lcbPlcfBtePapx = 0;
    quint32 fcClx = 0, lcbClx = 0;
};

enum class FibStatus { Ok, Encrypted, Damaged };

FibStatus readFib(QByteArrayView w, Fib &fib)
{
    if (!fits(w, 0, 34) || u16At(w, 0) != kFibIdent)
        return FibStatus::Damaged;
    const quint16 flags = u16At(w, 0x0A);
    // fEncrypted, and fObfuscated which only qualifies it: both need the password.
    if (flags & 0x0100)
        return FibStatus::Encrypted;
    fib.table1 = flags & 0x0200;
    const qint64 rgLwCount = 34 + 2 * qint64(u16At(w, 32));
    if (!fits(w, rgLwCount, 2))
        return FibStatus::Damaged;
    const quint16 cslw = u16At(w, rgLwCount);
    const qint64 rgLw = rgLwCount + 2;
    if (cslw < 11 || !fits(w, rgLw, 4 * qint64(cslw) + 2))
        return FibStatus::Damaged;
    const auto ccp = [&](int index) { return qint64(qint32(u32At(w, rgLw + 4 * index))); };
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
    const quint16 pairs = u16At(w, rgFcLcbCount);
    const qint64 rgFcLcb = rgFcLcbCount + 2;
    if (pairs < 34 || !fits(w, rgFcLcb, 8 * qint64(pairs)))
        return FibStatus::Damaged;
    const auto pair = [&](int index, quint32 &fc, quint32 &lcb) {
        fc = u32At(w, rgFcLcb + 8 * index);
        lcb = u32At(w, rgFcLcb + 8 * index + 4);
    };
    pair(11, fib.fcPlcfHdd, fib.lcbPlcfHdd);
    pair(13, fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx);
    pair(33, fib.fcClx, fib.lcbClx);
    return FibStatus::Ok;
}

// A run of text of the piece table ([MS-DOC] 2.9.177 PlcPcd): characters [cpStart, cpEnd) at
// byte `offset` of the WordDocument stream, 8-bit or 16-bit.
struct Piece
{
    qint64 cpStart;
    qint64 cpEnd;
    qint64 offset;
    bool compressed;
};

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
        const qint16 size = qint16(u16At(clx, at + 1));
        if (size < 0)
            return std::nullopt;
        at += 3 + size;
    }
    if (!fits(clx, at, 5) || u8At(clx, at) != 0x02)
        return std::nullopt;
    const quint32 size = u32At(clx, at + 1);
    at += 5;
    if (!fits(clx, at, size) || size < 4 || (size - 4) % 12 != 0)
        return std::nullopt;
    const qsizetype count = (size - 4) / 12;
    const qsizetype descriptors = at + 4 * (count + 1);
    QList<Piece> pieces;
    pieces.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 cpStart = u32At(clx, at + 4 * i);
        const qint64 cpEnd = u32At(clx, at + 4 * (i + 1));
        // Pieces follow one another in character positions.
        if (cpEnd < cpStart || (!pieces.isEmpty() && cpStart != pieces.last().cpEnd))
            return std::nullopt;
        const quint32 fcCompressed = u32At(clx, descriptors + 8 * i + 2);
        const bool compressed = fcCompressed & 0x40000000;
        const qint64 offset = fcCompressed & 0x3FFFFFFF;
        pieces.append({cpStart, cpEnd, compressed ? offset / 2 : offset, compressed});
    }
    return pieces;
}

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
        return 2 + std::max(0, int(u16At(grpprl, at)) - 1);
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
        const quint16 sprm = u16At(grpprl, at);
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

// The byte ranges of the WordDocument stream that hold end-of-row marks, from the paragraph
// properties: the bin table PlcBtePapx ([MS-DOC] 2.8.6) points to 512-byte pages PapxFkp (2.9.175)
// of paragraph runs. Unreadable pages only lose the distinction between a row end and an empty
// cell, so they are passed over.
class RowEnds
{
public:
    RowEnds(QByteArrayView word, QByteArrayView table, const Fib &fib)
    {
        if (!fits(table, fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx) || fib.lcbPlcfBtePapx < 4)
            return;
        const QByteArrayView plc = table.sliced(fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx);
        const qsizetype count = (plc.size() - 4) / 8;
        QSet<quint32> pages; // a page named twice is read once
        for (qsizetype i = 0; i < count; ++i) {
            const quint32 page = u32At(plc, 4 * (count + 1) + 4 * i) & 0x3FFFFF;
            if (!pages.contains(page)) {
                pages.insert(page);
                readPage(word, qint64(page) * 512);
            }
        }
        std::sort(m_ranges.begin(), m_ranges.end());
    }

    bool contains(qint64 fc) const
    {
        auto after =
            std::upper_bound(m_ranges.begin(), m_ranges.end(),
                             std::pair<qint64, qint64>(fc, std::numeric_limits<qint64>::max()));
        return after != m_ranges.begin() && fc < std::prev(after)->second;
    }

private:
    void readPage(QByteArrayView word, qint64 start)
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
                m_ranges.emplace_back(u32At(page, 4 * i), u32At(page, 4 * (i + 1)));
        }
    }

    std::vector<std::pair<qint64, qint64>> m_ranges;
};

// The Windows-1252 characters that [MS-DOC] FcCompressed maps to Unicode; every other byte is the
// character of the same value.
constexpr char16_t kCompressed80[32] = {
    0x0080, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178};

class DocumentReader
{
public:
    DocumentReader(QByteArrayView word, const QList<Piece> &pieces, const RowEnds &rowEnds,
                   TextSink &sink)
        : m_word(word), m_pieces(pieces), m_rowEnds(rowEnds), m_sink(sink)
    {}

    // Writes the text of characters [from, to). A character position the piece table does not
    // reach, or a piece outside the stream, is damage.
    Outcome write(qint64 from, qint64 to)
    {
        return forEachCharacter(from, to, [this](char16_t c, qint64 fc) { put(c, fc); });
    }

    // True when characters [from, to) hold only paragraph marks (an empty header story).
    bool onlyParagraphMarks(qint64 from, qint64 to)
    {
        bool marks = true;
        forEachCharacter(from, to, [&](char16_t c, qint64) { marks = marks && c == 0x0D; });
        return marks;
    }

private:
    template <typename Each> Outcome forEachCharacter(qint64 from, qint64 to, const Each &each)
    {
        constexpr qint64 kStep = 4096; // characters between two looks at the stop flag
        for (const Piece &piece : m_pieces) {
            if (piece.cpEnd <= from)
                continue;
            if (piece.cpStart >= to)
                break;
            const qint64 first = std::max(from, piece.cpStart) - piece.cpStart;
            const qint64 count = std::min(to, piece.cpEnd) - piece.cpStart - first;
            const qint64 width = piece.compressed ? 1 : 2;
            const qint64 start = piece.offset + width * first;
            if (!fits(m_word, start, width * count))
                return Outcome::Damaged;
            for (qint64 i = 0; i < count; ++i) {
                const qint64 fc = start + width * i;
                char16_t c;
                if (piece.compressed) {
                    const quint8 b = u8At(m_word, fc);
                    c = b >= 0x80 && b < 0xA0 ? kCompressed80[b - 0x80] : char16_t(b);
                } else {
                    c = u16At(m_word, fc);
                }
                each(c, fc);
                if (i % kStep == kStep - 1 && m_sink.stopRequested())
                    return Outcome::Stopped;
            }
            from = piece.cpStart + first + count;
            if (m_sink.stopRequested())
                return Outcome::Stopped;
        }
        return from < to ? Outcome::Damaged : Outcome::Done;
    }

    void put(char16_t c, qint64 fc)
    {
        // Fields: begin (0x13), code, separator (0x14), result, end (0x15); they nest. Only the
        // results are text.
        switch (c) {
        case 0x13:
            m_fields.push_back(true);
            ++m_inCode;
            return;
        case 0x14:
            if (!m_fields.empty() && m_fields.back()) {
                m_fields.back() = false;
                --m_inCode;
            }
            return;
        case 0x15:
            if (!m_fields.empty()) {
                m_inCode -= m_fields.back() ? 1 : 0;
                m_fields.pop_back();
            }
            return;
        default:
            break;
        }
        if (m_inCode > 0)
            return;
        switch (c) {
        case 0x0D: // paragraph mark
        case 0x07: // cell mark, or the end of a table row
            if (!m_rowEnds.contains(fc))
                m_sink.append(u'\n');
            return;
        case 0x0B: // line break
        case 0x0C: // page or section break
            m_sink.append(u'\n');
            return;
        case 0x09:
            m_sink.append(u'\t');
            return;
        case 0x1E: // non-breaking hyphen
            m_sink.append(u'-');
            return;
        default:
            break;
        }
        // Optional hyphens (0x1F), picture and object anchors (0x01, 0x08), note references
        // (0x02) and the other control characters.
        if (c >= 0x20)
            m_sink.append(QChar(c));
    }

    QByteArrayView m_word;
    const QList<Piece> &m_pieces;
    const RowEnds &m_rowEnds;
    TextSink &m_sink;
    std::vector<bool> m_fields; // per open field: still in its code
    qsizetype m_inCode = 0;
};

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
        const qint64 from = u32At(plc, 4 * i);
        const qint64 to = std::min<qint64>(u32At(plc, 4 * (i + 1)), fib.ccpHdd);
        if (to - 1 <= from)
            continue;
        // Of the six stories of a section, the third, fourth and sixth are footers.
        const qsizetype kind = (i - 6) % 6;
        (kind == 2 || kind == 3 || kind == 5 ? footers : headers)
            .append({start + from, start + to - 1});
    }
    return headers + footers;
}

} // namespace

bool isWord97Fib(QByteArrayView fib)
{
    return fits(fib, 0, 4) && u16At(fib, 0) == kFibIdent && u16At(fib, 2) >= kFirstWord97Fib;
}

Outcome Word97Extractor::extract(const Source &source, TextSink &sink)
{
    CompoundFile file;
    if (!file.open(source))
        return Outcome::Damaged;
    QByteArray word;
    if (file.read("WordDocument", word) != CompoundFile::Status::Ok)
        return Outcome::Damaged;
    Fib fib;
    switch (readFib(word, fib)) {
    case FibStatus::Encrypted:
        return Outcome::Encrypted;
    case FibStatus::Damaged:
        return Outcome::Damaged;
    case FibStatus::Ok:
        break;
    }
    QByteArray table;
    if (file.read(fib.table1 ? "1Table" : "0Table", table) != CompoundFile::Status::Ok)
        return Outcome::Damaged;
    const std::optional<QList<Piece>> pieces = readPieces(table, fib.fcClx, fib.lcbClx);
    if (!pieces)
        return Outcome::Damaged;
    const RowEnds rowEnds(word, table, fib);
    DocumentReader reader(word, *pieces, rowEnds, sink);

    Outcome outcome = reader.write(0, fib.ccpText);
    for (const auto &[from, to] : headerStories(table, fib)) {
        if (outcome == Outcome::Done && !reader.onlyParagraphMarks(from, to))
            outcome = reader.write(from, to);
    }
    // Footnotes, then endnotes, comments and text boxes, each kind one run of characters whose
    // last paragraph mark ends the subdocument and no paragraph.
    const qint64 ftn = fib.ccpText;
    const qint64 atn = ftn + fib.ccpFtn + fib.ccpHdd;
    const qint64 edn = atn + fib.ccpAtn;
    const qint64 txbx = edn + fib.ccpEdn;
    const std::pair<qint64, qint64> subdocuments[] = {
        {ftn, fib.ccpFtn}, {edn, fib.ccpEdn}, {atn, fib.ccpAtn}, {txbx, fib.ccpTxbx}};
    for (const auto &[from, count] : subdocuments) {
        if (outcome == Outcome::Done && count > 1)
            outcome = reader.write(from, from + count - 1);
    }
    return outcome;
}

} // namespace documents
