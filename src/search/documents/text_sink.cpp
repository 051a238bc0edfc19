#include "search/documents/text_sink.h"

#include <algorithm>

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

void TextSink::appendLong(QStringView text)
{
    while (!text.isEmpty()) {
        qsizetype take = std::min(text.size(), kPieceSize - m_buffer.size());
        // A surrogate pair stays in one piece.
        if (take < text.size() && take > 0 && text[take - 1].isHighSurrogate())
            --take;
        if (take <= 0) {
            // The buffer is full (or one character short of it): hand it out.
            if (!flush())
                return;
            continue;
        }
        m_buffer.append(text.first(take));
        text = text.sliced(take);
        if (m_buffer.size() >= kPieceSize - 1 && !flush())
            return;
    }
}

void TextSink::beginPart(int part, int parts)
{
    m_parts = std::max(parts, 1);
    m_part = std::clamp(part, 0, m_parts);
    m_percent = 0;
    tellProgress();
}

void TextSink::partProgress(int percent)
{
    m_percent = std::clamp(percent, 0, 100);
    tellProgress();
}

void TextSink::tellProgress()
{
    if (!m_progress || !*m_progress)
        return;
    const int permille =
        int(std::min<qint64>(1000, (qint64(m_part) * 100 + m_percent) * 10 / m_parts));
    if (permille == m_told)
        return;
    m_told = permille;
    (*m_progress)(permille);
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

namespace documents {

void CsvCellText::writeQuoted(QStringView text, TextSink &sink)
{
    while (!text.isEmpty()) {
        const qsizetype quote = text.indexOf(u'"');
        if (quote < 0) {
            sink.append(text);
            return;
        }
        sink.append(text.first(quote + 1));
        sink.append(u'"');
        text = text.sliced(quote + 1);
    }
}

} // namespace documents
