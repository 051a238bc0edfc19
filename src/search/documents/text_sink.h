#pragma once

#include "search/documents/document_text.h"

#include <QString>

namespace documents {

// Collects an extractor's text and hands it to the caller's TextOut in pieces of a few thousand
// characters, so that the caller is not called per XML token. Remembers when the caller or the
// stop flag asked to stop; extractors poll stopRequested() between tokens and pages.
class TextSink
{
public:
    TextSink(const TextOut &out, const std::atomic<bool> *stop) : m_out(out), m_stop(stop) {}

    void append(QStringView text)
    {
        m_buffer.append(text);
        if (m_buffer.size() >= kPieceSize)
            flush();
    }
    void append(QChar c)
    {
        m_buffer.append(c);
        if (m_buffer.size() >= kPieceSize)
            flush();
    }

    // Hands what is collected to the caller. Returns false once the caller wants no more.
    bool flush();

    bool stopRequested() const
    {
        return m_stopped || (m_stop && m_stop->load(std::memory_order_relaxed));
    }

    // The outcome of an extraction that ended with `outcome`: hands out the rest of the text
    // first, and turns Done into Stopped when the caller stopped it.
    Outcome finish(Outcome outcome);

private:
    static constexpr qsizetype kPieceSize = 8192;

    const TextOut &m_out;
    const std::atomic<bool> *m_stop;
    QString m_buffer;
    bool m_stopped = false;
};

// `cell` as a CSV export writes it: between double quotes, with inner double quotes doubled, when
// it holds a comma, a double quote, CR or LF; as it is otherwise.
void appendCsvCell(QString &row, QStringView cell);

} // namespace documents
