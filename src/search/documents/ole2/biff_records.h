#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace documents {

// The record layer of the Excel binary formats ([MS-XLS] 2.1.4): a workbook stream is a sequence
// of records, each a 16-bit type, a 16-bit size and the data; a record too long for one is
// continued in CONTINUE records.

namespace biff {

enum : quint16 {
    kContinue = 0x003C,
    kEof = 0x000A,
    kBof = 0x0809,
};

struct Record
{
    quint16 type = 0;
    qint64 at = 0; // offset of the record's header in the stream
    QByteArrayView data;
};

// The records of a stream from a given offset.
class Records
{
public:
    Records(QByteArrayView stream, qint64 at) : m_stream(stream), m_at(at) {}

    // False at the end of the stream, and at a record that does not fit in it (damaged()).
    bool next(Record &record);

    // The data of the CONTINUE records that follow, taken from the sequence.
    QList<QByteArrayView> continuations();

    qint64 position() const { return m_at; }
    bool damaged() const { return m_damaged; }

private:
    QByteArrayView m_stream;
    qint64 m_at;
    bool m_damaged = false;
};

// Whether a BOF record with at least its version and type fields starts at `at`.
bool bofAt(QByteArrayView stream, qint64 at);

// The offsets of the substreams (BOF to its EOF, substreams nested in it included) that follow
// each other from `at`, up to the first place where no BOF starts or a record does not fit.
QList<qint64> substreamsFrom(QByteArrayView stream, qint64 at);

// A record's data and its CONTINUE records read as one, with the rule for strings split between
// them: the characters go on in the next record after one byte that gives their width again
// (fHighByte), whatever the width before.
class ContinuedData
{
public:
    explicit ContinuedData(QList<QByteArrayView> parts) : m_parts(std::move(parts)) {}

    bool atEnd();

    // `size` bytes into `out` (or passed over when `out` is null), across record boundaries.
    bool bytes(qsizetype size, quint8 *out);
    bool u8(quint8 &value) { return bytes(1, &value); }
    bool u16(quint16 &value);
    bool u32(quint32 &value);

    // `count` characters, 16-bit when `wide`, else the low bytes of 16-bit characters.
    bool characters(qsizetype count, bool wide, QString &out);

    // An XLUnicodeString (16-bit count), or XLUnicodeRichExtendedString with `rich`: formatting
    // runs and phonetic data follow the characters and are passed over.
    bool unicodeString(QString &out, bool rich);

private:
    QList<QByteArrayView> m_parts;
    qsizetype m_part = 0;
    qsizetype m_at = 0;
};

} // namespace biff

} // namespace documents
