#include "search/match/joined_window.h"

#include "search/match/field_decoder.h"

#include <algorithm>
#include <cstring>

namespace search {

using platform::TextEncoding;

void JoinedWindow::reserve(qsizetype size)
{
    if (qsizetype(m_bytes.size()) < m_size + size)
        m_bytes.resize(size_t(m_size + size));
}

void JoinedWindow::append(const char *data, qsizetype size)
{
    std::memcpy(m_bytes.data() + m_size, data, size_t(size));
    m_size += size;
}

void JoinedWindow::markFieldStart()
{
    const qint64 at = end();
    if (m_fieldStarts.empty() || m_fieldStarts.back() != at)
        m_fieldStarts.push_back(at);
}

// True when decoding may start at `at` with a fresh decoder: the bytes before it leave nothing
// pending, so the text from there on is what decoding the whole field gives.
bool JoinedWindow::isSyncPoint(qint64 at, std::optional<TextEncoding> encoding) const
{
    if (!encoding)
        return true; // nothing but ASCII so far: every byte is a character of its own
    return platform::startsCharacter(this->at(at), at - m_base, *encoding);
}

std::optional<qint64> JoinedWindow::decodeStart(qint64 target,
                                                std::optional<TextEncoding> encoding) const
{
    if (target <= 0) {
        if (m_base != 0)
            return std::nullopt;
        return 0;
    }
    const auto it = std::upper_bound(m_fieldStarts.begin(), m_fieldStarts.end(), target);
    const qint64 field = it == m_fieldStarts.begin() ? -1 : *(it - 1);
    for (qint64 x = target; x > std::max(field, m_base); --x) {
        if (isSyncPoint(x, encoding))
            return x;
    }
    if (field < m_base)
        return std::nullopt;
    return field;
}

void JoinedWindow::decode(qint64 from, qint64 to, bool endFieldsAtEnds, FieldDecoder &decoder,
                          QString &text) const
{
    auto it = std::lower_bound(m_fieldStarts.begin(), m_fieldStarts.end(), from);
    if (it != m_fieldStarts.end() && *it == from) {
        if (endFieldsAtEnds)
            decoder.endField(text);
        ++it;
    }
    qint64 pos = from;
    for (; it != m_fieldStarts.end() && *it < to; ++it) {
        decoder.append(text, at(pos), *it - pos);
        decoder.endField(text);
        pos = *it;
    }
    if (to > pos)
        decoder.append(text, at(pos), to - pos);
    if (endFieldsAtEnds && to > from && it != m_fieldStarts.end() && *it == to)
        decoder.endField(text);
}

bool JoinedWindow::fieldBeginsIn(qint64 from, qint64 to) const
{
    const auto it = std::lower_bound(m_fieldStarts.begin(), m_fieldStarts.end(), from);
    return it != m_fieldStarts.end() && *it <= to;
}

void JoinedWindow::restartAfterGap()
{
    // One past the end: offsets go on growing, and no field start lies at or before the old end.
    m_base = end() + 1;
    m_size = 0;
    m_fieldStarts.assign(1, m_base);
}

void JoinedWindow::trim(qsizetype history)
{
    // Moving the kept bytes down only once twice the history has gathered keeps the cost of
    // moving them below the cost of scanning.
    if (m_size <= 2 * history)
        return;
    const qsizetype drop = m_size - history;
    std::memmove(m_bytes.data(), m_bytes.data() + drop, size_t(history));
    m_size = history;
    m_base += drop;
    const auto keep = std::lower_bound(m_fieldStarts.begin(), m_fieldStarts.end(), m_base);
    m_fieldStarts.erase(m_fieldStarts.begin(), keep);
}

qsizetype JoinedWindow::heldBytes() const
{
    return qsizetype(m_bytes.capacity()) + qsizetype(m_fieldStarts.capacity() * sizeof(qint64));
}

} // namespace search
