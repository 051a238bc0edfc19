#include "search/documents/ole2/word97.h"

#include "search/documents/ole2/compound_file.h"
#include "search/documents/ole2/word97_tables.h"
#include "search/documents/text_sink.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <limits>
#include <optional>

namespace documents {

using namespace word97;

namespace {

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
                    c = le16(m_word, fc);
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

} // namespace

bool isWord97Fib(QByteArrayView fib)
{
    return fits(fib, 0, 4) && le16(fib, 0) == kFibIdent && le16(fib, 2) >= kFirstWord97Fib;
}

Outcome Word97Extractor::extractFrom(const CompoundFile &file, const Source &, TextSink &sink)
{
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
