#include "search/documents/ole2/biff_records.h"

#include "search/documents/ole2/compound_file.h"

#include <algorithm>
#include <cstring>

namespace documents::biff {

bool Records::next(Record &record)
{
    if (m_at == m_stream.size())
        return false;
    if (!fits(m_stream, m_at, 4) || !fits(m_stream, m_at + 4, le16(m_stream, m_at + 2))) {
        m_damaged = true;
        return false;
    }
    record.type = le16(m_stream, m_at);
    record.at = m_at;
    record.data = m_stream.sliced(m_at + 4, le16(m_stream, m_at + 2));
    m_at += 4 + record.data.size();
    return true;
}

QList<QByteArrayView> Records::continuations()
{
    QList<QByteArrayView> parts;
    while (fits(m_stream, m_at, 4) && le16(m_stream, m_at) == kContinue) {
        Record record;
        if (!next(record))
            break;
        parts.append(record.data);
    }
    return parts;
}

bool bofAt(QByteArrayView stream, qint64 at)
{
    return fits(stream, at, 8) && le16(stream, at) == kBof && le16(stream, at + 2) >= 4 &&
           fits(stream, at + 4, le16(stream, at + 2));
}

QList<qint64> substreamsFrom(QByteArrayView stream, qint64 at)
{
    QList<qint64> starts;
    while (bofAt(stream, at)) {
        starts.append(at);
        Records records(stream, at);
        Record record;
        int depth = 0;
        while (records.next(record)) {
            if (record.type == kBof)
                ++depth;
            else if (record.type == kEof && --depth == 0)
                break;
        }
        if (depth != 0)
            break;
        at = records.position();
    }
    return starts;
}

bool ContinuedData::atEnd()
{
    while (m_part < m_parts.size() && m_at == m_parts[m_part].size()) {
        ++m_part;
        m_at = 0;
    }
    return m_part == m_parts.size();
}

bool ContinuedData::bytes(qsizetype size, quint8 *out)
{
    while (size > 0) {
        if (atEnd())
            return false;
        const QByteArrayView part = m_parts[m_part];
        const qsizetype n = std::min(size, part.size() - m_at);
        if (out) {
            std::memcpy(out, part.data() + m_at, size_t(n));
            out += n;
        }
        m_at += n;
        size -= n;
    }
    return true;
}

bool ContinuedData::u16(quint16 &value)
{
    quint8 b[2];
    if (!bytes(2, b))
        return false;
    value = platform::le16(QByteArrayView(reinterpret_cast<const char *>(b), 2), 0);
    return true;
}

bool ContinuedData::u32(quint32 &value)
{
    quint8 b[4];
    if (!bytes(4, b))
        return false;
    value = platform::le32(QByteArrayView(reinterpret_cast<const char *>(b), 4), 0);
    return true;
}

bool ContinuedData::characters(qsizetype count, bool wide, QString &out)
{
    while (count > 0) {
        if (m_part < m_parts.size() && m_at == m_parts[m_part].size()) {
            quint8 flags = 0;
            if (atEnd() || !u8(flags))
                return false;
            wide = flags & 0x01;
        }
        if (m_part == m_parts.size())
            return false;
        const QByteArrayView part = m_parts[m_part];
        const qsizetype width = wide ? 2 : 1;
        const qsizetype n = std::min(count, (part.size() - m_at) / width);
        if (n == 0) { // half a character at the end of a record
            m_at = part.size();
            continue;
        }
        for (qsizetype i = 0; i < n; ++i, m_at += width)
            out.append(QChar(wide ? le16(part, m_at) : u8At(part, m_at)));
        count -= n;
    }
    return true;
}

bool ContinuedData::unicodeString(QString &out, bool rich)
{
    quint16 count = 0;
    quint8 flags = 0;
    if (!u16(count) || !u8(flags))
        return false;
    quint16 runs = 0;
    quint32 extended = 0;
    if (rich && (flags & 0x08) && !u16(runs))
        return false;
    if (rich && (flags & 0x04) && !u32(extended))
        return false;
    return characters(count, flags & 0x01, out) && bytes(4 * qsizetype(runs), nullptr) &&
           bytes(qsizetype(extended), nullptr);
}

} // namespace documents::biff
