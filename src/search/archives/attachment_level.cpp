#include "search/archives/attachment_level.h"

#include "search/archives/archive_budget.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace archives {

AttachmentLevel::AttachmentLevel(std::unique_ptr<documents::Attachments> attachments,
                                 qint64 maxBytes, std::function<bool()> keepGoing)
    : m_attachments(std::move(attachments)), m_maxBytes(maxBytes), m_keepGoing(std::move(keepGoing))
{}

AttachmentLevel::~AttachmentLevel() = default;

QString AttachmentLevel::memberName(const QString &name)
{
    QString part = name;
    part.replace(u'/', u'_');
    part.replace(u'\\', u'_');
    part.remove(QChar(u'\0'));
    part = part.trimmed();
    return part.isEmpty() ? QStringLiteral("attachment") : part;
}

AttachmentLevel::Next AttachmentLevel::next()
{
    m_current.reset();
    m_path.clear();
    m_at = 0;
    m_memberFailure = Failure::None;
    if (!m_attachments || m_stopped)
        return Next::End;
    if (m_keepGoing && !m_keepGoing()) {
        m_stopped = true;
        return Next::Failed;
    }
    const auto start = std::chrono::steady_clock::now();
    m_current = m_attachments->next(std::max<qint64>(m_maxBytes, 0));
    if (!m_current)
        return Next::End;
    if (m_budget &&
        !m_budget->charge(m_current->bytes.size(), std::chrono::steady_clock::now() - start))
        return Next::End;
    m_path = memberName(m_current->name);
    if (m_current->damaged)
        m_memberFailure = Failure::Damaged;
    return Next::Member;
}

qint64 AttachmentLevel::readData(char *data, qsizetype size)
{
    if (!m_current)
        return -1;
    const QByteArray &bytes = m_current->bytes;
    if (m_at >= bytes.size()) {
        // A damaged attachment ends in a failure once what it holds is read.
        return m_memberFailure == Failure::None ? 0 : -1;
    }
    const qsizetype n = std::min(size, bytes.size() - m_at);
    std::memcpy(data, bytes.constData() + m_at, size_t(n));
    m_at += n;
    return n;
}

} // namespace archives
