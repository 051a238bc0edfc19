#include "search/documents/rtf/block_input.h"

#include "search/documents/text_sink.h"

#include <QIODevice>

#include <algorithm>

namespace documents::rtf {

namespace {

constexpr qsizetype kBlockSize = 64 * 1024;

} // namespace

BlockInput::BlockInput(QIODevice &device, const TextSink &sink)
    : m_device(device), m_sink(sink), m_block(kBlockSize, Qt::Uninitialized)
{
    m_at = m_end = m_block.constData();
}

void BlockInput::skip(qint64 count)
{
    const qint64 here = std::min<qint64>(count, m_end - m_at);
    m_at += here;
    count -= here;
    if (count > 0)
        m_device.skip(count);
}

bool BlockInput::refill()
{
    if (m_stopped || m_sink.stopRequested()) {
        m_stopped = true;
        return false;
    }
    const qint64 got = m_device.read(m_block.data(), m_block.size());
    if (got <= 0)
        return false;
    m_at = m_block.constData();
    m_end = m_at + got;
    return true;
}

} // namespace documents::rtf
