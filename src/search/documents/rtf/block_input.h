#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

namespace documents {

class TextSink;

namespace rtf {

// A device's bytes a block at a time, for a tokenizer that takes a byte, may give the last one
// back, and takes runs of bytes of one kind at once. Ends early when the sink's caller stops.
class BlockInput
{
public:
    BlockInput(QIODevice &device, const TextSink &sink);

    // The next byte, or -1 at the end (or once the caller stopped).
    int get()
    {
        if (m_at == m_end && !refill())
            return -1;
        return uchar(*m_at++);
    }
    // Gives back the byte the last get() returned.
    void unget() { --m_at; }
    // The bytes from here that `belongs` accepts, up to the end of the block at most.
    template <typename Predicate> QByteArrayView takeWhile(Predicate belongs)
    {
        const char *start = m_at;
        while (m_at < m_end && belongs(*m_at))
            ++m_at;
        return QByteArrayView(start, m_at - start);
    }
    // Passes over `count` bytes; seeks where the device can, so that \bin data is never read.
    void skip(qint64 count);
    bool stopped() const { return m_stopped; }

private:
    bool refill();

    QIODevice &m_device;
    const TextSink &m_sink;
    QByteArray m_block;
    const char *m_at = nullptr;
    const char *m_end = nullptr;
    bool m_stopped = false;
};

} // namespace rtf
} // namespace documents
