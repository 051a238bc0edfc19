#pragma once

#include "platform/core/work_monitor.h"
#include "search/documents/document_text.h"

#include <QString>

namespace documents {

// Collects an extractor's text and hands it to the caller's TextOut in pieces of a few thousand
// characters, so that the caller is not called per XML token. Remembers when the caller or the
// stop flag asked to stop; extractors poll stopRequested() between tokens and pages.
class TextSink
{
public:
    // `progress` (may be null) is told where the extractor is (beginPart, partProgress);
    // `monitor` (may be null) when recognition begins (beginRecognition).
    TextSink(const TextOut &out, const std::atomic<bool> *stop,
             const ProgressOut *progress = nullptr, platform::WorkMonitor *monitor = nullptr)
        : m_out(out), m_stop(stop), m_progress(progress), m_monitor(monitor)
    {}

    // Text longer than a piece is handed out in pieces of kPieceSize, never held whole.
    void append(QStringView text)
    {
        if (m_buffer.size() + text.size() > 2 * kPieceSize) {
            appendLong(text);
            return;
        }
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

    // The stop flag given by the caller (may be null), for library calls that poll one of their
    // own. A stop asked by the caller's TextOut shows only in stopRequested().
    const std::atomic<bool> *stopFlag() const { return m_stop; }

    // The outcome of an extraction that ended with `outcome`: hands out the rest of the text
    // first, and turns Done into Stopped when the caller stopped it.
    Outcome finish(Outcome outcome);

    // Where the extractor is, for a caller showing how far it has come: part `part` (from 0) of
    // `parts` (the pages) starts. Until the first call the document is one part.
    void beginPart(int part, int parts);
    // `percent` (0..100) of the current part is read (a page's recognition).
    void partProgress(int percent);
    // Text recognition of a page or picture begins: what is collected is handed out first, so
    // that a caller who has its answer in it can stop before the page is read, and the monitor
    // is told (WorkMonitor::setRecognising).
    void beginRecognition()
    {
        flush();
        if (m_monitor)
            m_monitor->setRecognising(true);
    }
    // The recognition has ended: the monitor is told, then the page's text goes out at once.
    void endRecognition()
    {
        if (m_monitor)
            m_monitor->setRecognising(false);
        flush();
    }

    static constexpr qsizetype kPieceSize = 8192;

private:
    void appendLong(QStringView text);
    void tellProgress();

    const TextOut &m_out;
    const std::atomic<bool> *m_stop;
    const ProgressOut *m_progress;
    platform::WorkMonitor *m_monitor;
    int m_part = 0;
    int m_parts = 1;
    int m_percent = 0;
    int m_told = -1; // the last thousandths told
    QString m_buffer;
    bool m_stopped = false;
};

// `cell` as a CSV export writes it: between double quotes, with inner double quotes doubled, when
// it holds a comma, a double quote, CR or LF; as it is otherwise.
void appendCsvCell(QString &row, QStringView cell);

// The text of one spreadsheet cell as it is read, in pieces. Up to kMaxHeld characters it is held,
// and written whole by appendCsvCell when the cell ends, quoted only when it needs to be. A longer
// cell is not held: it is handed to the sink as it comes, always between double quotes (inner
// ones doubled), since whether it holds a comma or a quote further on is not known yet. Quoting a
// cell that needs no quotes changes the text only by the two quotes; the fields the search cuts
// from it (a quoted field is read without its quotes) are the same.
class CsvCellText
{
public:
    static constexpr qsizetype kMaxHeld = 64 * 1024;

    void clear()
    {
        m_held.clear();
        m_streaming = false;
    }
    bool isEmpty() const { return !m_streaming && m_held.isEmpty(); }
    // True once the cell is written as it comes; it then ends with endStreaming().
    bool streaming() const { return m_streaming; }
    const QString &held() const { return m_held; }

    // When the cell grows past kMaxHeld, `start` writes what stands before it (the row so far,
    // the commas of the empty cells before it), then the held text goes out quoted.
    template <typename Start> void append(QStringView text, TextSink &sink, Start start)
    {
        if (!m_streaming && m_held.size() + text.size() <= kMaxHeld) {
            m_held.append(text);
            return;
        }
        if (!m_streaming) {
            m_streaming = true;
            start();
            sink.append(u'"');
            writeQuoted(m_held, sink);
            m_held = QString();
        }
        writeQuoted(text, sink);
    }
    void endStreaming(TextSink &sink)
    {
        sink.append(u'"');
        m_streaming = false;
    }

private:
    static void writeQuoted(QStringView text, TextSink &sink);

    QString m_held;
    bool m_streaming = false;
};

} // namespace documents
