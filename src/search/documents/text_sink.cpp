#include "search/documents/text_sink.h"

namespace documents {

bool TextSink::flush()
{
    if (m_stopped)
        return false;
    if (!m_buffer.isEmpty()) {
        if (!m_out(m_buffer))
            m_stopped = true;
        m_buffer.clear();
    }
    return !m_stopped;
}

Outcome TextSink::finish(Outcome outcome)
{
    if (outcome == Outcome::Done && !flush())
        return Outcome::Stopped;
    if (outcome == Outcome::Done && stopRequested())
        return Outcome::Stopped;
    if (outcome == Outcome::Damaged || outcome == Outcome::Encrypted)
        flush();
    return outcome;
}

void appendCsvCell(QString &row, QStringView cell)
{
    bool quote = false;
    for (const QChar c : cell) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        row.append(cell);
        return;
    }
    row.append(u'"');
    for (const QChar c : cell) {
        if (c == u'"')
            row.append(u'"');
        row.append(c);
    }
    row.append(u'"');
}

} // namespace documents
