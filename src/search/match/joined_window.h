#pragma once

#include "platform/core/text_encoding.h"

#include <QString>

#include <optional>
#include <vector>

namespace search {

class FieldDecoder;

// The joined field bytes of a file (its fields' bytes end to end, delimiters and quotes left
// out) from some offset on, with the offsets where fields begin. The byte scan appends to it
// chunk by chunk, searches it and keeps only a bounded history behind the scan, from which the
// text around a candidate is decoded.
//
// Offsets are counted in joined bytes from the start of the file.
class JoinedWindow
{
public:
    // Makes room for `size` more bytes (a chunk adds at most its own size).
    void reserve(qsizetype size);
    // The field sink of the field cutter: the next bytes of the current field.
    void append(const char *data, qsizetype size);
    // The next bytes begin a new field.
    void markFieldStart();

    qint64 begin() const { return m_base; }
    qint64 end() const { return m_base + m_size; }
    const char *at(qint64 offset) const { return m_bytes.data() + (offset - m_base); }

    // A place at or before `target` from which decoding the window gives the same text as
    // decoding the whole field, or nothing when the window holds none (the bytes before it are
    // gone). `encoding`: the file's encoding, nothing while only ASCII has been read.
    std::optional<qint64> decodeStart(qint64 target,
                                      std::optional<platform::TextEncoding> encoding) const;

    // Decodes [from, to) into `text`, ending the fields that end inside. With `endFieldsAtEnds`,
    // a field that ends exactly at `from` or at `to` is ended too: for a range that continues a
    // decoding that stopped at `from` and runs to the end of the window, so that the pieces cut
    // after it begin a new field.
    void decode(qint64 from, qint64 to, bool endFieldsAtEnds, FieldDecoder &decoder,
                QString &text) const;

    // True when a field begins at an offset in [from, to].
    bool fieldBeginsIn(qint64 from, qint64 to) const;

    // Drops everything: the bytes that follow come after a stretch that was not joined, and
    // begin a field. Nothing before them can be decoded any more.
    void restartAfterGap();

    // Keeps the last `history` bytes once twice that has gathered.
    void trim(qsizetype history);

    qsizetype heldBytes() const;

private:
    bool isSyncPoint(qint64 at, std::optional<platform::TextEncoding> encoding) const;

    std::vector<char> m_bytes; // its first m_size bytes are in use
    qsizetype m_size = 0;
    qint64 m_base = 0;
    std::vector<qint64> m_fieldStarts{0}; // offsets where fields begin (decoder resets)
};

} // namespace search
