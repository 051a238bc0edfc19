#pragma once

#include <QByteArrayView>
#include <QList>

#include <optional>
#include <utility>
#include <vector>

// The structures of a Word 97-2003 file that say where its text is: the File Information Block
// at the start of the WordDocument stream, and in the table stream the piece table, the
// paragraph properties (for the ends of table rows) and the header stories.
namespace documents::word97 {

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

// The FIB of the WordDocument stream `w`.
FibStatus readFib(QByteArrayView w, Fib &fib);

// A run of text of the piece table ([MS-DOC] 2.9.177 PlcPcd): characters [cpStart, cpEnd) at
// byte `offset` of the WordDocument stream, 8-bit or 16-bit.
struct Piece
{
    qint64 cpStart;
    qint64 cpEnd;
    qint64 offset;
    bool compressed;
};

// The pieces of the Clx at `fc` in the table stream; nothing when it cannot be read.
std::optional<QList<Piece>> readPieces(QByteArrayView table, quint32 fc, quint32 lcb);

// The byte ranges of the WordDocument stream that hold end-of-row marks, from the paragraph
// properties. Unreadable pages only lose the distinction between a row end and an empty cell, so
// they are passed over.
class RowEnds
{
public:
    RowEnds(QByteArrayView word, QByteArrayView table, const Fib &fib);

    bool contains(qint64 fc) const;

private:
    void readPage(QByteArrayView word, qint64 start);

    std::vector<std::pair<qint64, qint64>> m_ranges;
};

// The character ranges of the header stories that hold text, headers before footers.
QList<std::pair<qint64, qint64>> headerStories(QByteArrayView table, const Fib &fib);

} // namespace documents::word97
