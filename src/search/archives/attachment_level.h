#pragma once

#include "search/archives/archive_level.h"
#include "search/documents/document.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace archives {

class ArchiveBudget;

// The attachments of a document (a mail's files) as the members of one level of a walk: each is
// decoded whole when the walk moves to it, and read from memory. What decoding gives out and the
// time it takes are charged to the walk's budget, like what a level of an archive inflates.
class AttachmentLevel final : public MemberReader
{
public:
    // `maxBytes`: an attachment larger than this decoded is handed out damaged, never held.
    // `keepGoing` is asked before each attachment.
    AttachmentLevel(std::unique_ptr<documents::Attachments> attachments, qint64 maxBytes,
                    std::function<bool()> keepGoing);
    ~AttachmentLevel() override;
    AttachmentLevel(const AttachmentLevel &) = delete;
    AttachmentLevel &operator=(const AttachmentLevel &) = delete;

    void setBudget(ArchiveBudget *budget) { m_budget = budget; }

    Next next() override;
    int index() const override { return m_current ? m_current->index : -1; }
    const QString &memberPath() const override { return m_path; }
    qint64 memberSize() const override { return m_current ? m_current->size : -1; }
    bool memberEncrypted() const override { return m_current && m_current->encrypted; }
    qint64 readData(char *data, qsizetype size) override;
    Failure memberFailure() const override { return m_memberFailure; }
    Failure failure() const override { return Failure::None; }
    bool stopped() const override { return m_stopped; }

    // An attachment's name as a member's path: one part, with no folder separators in it.
    static QString memberName(const QString &name);

private:
    std::unique_ptr<documents::Attachments> m_attachments;
    qint64 m_maxBytes;
    std::function<bool()> m_keepGoing;
    ArchiveBudget *m_budget = nullptr;
    std::optional<documents::Attachments::Attachment> m_current;
    QString m_path;
    qsizetype m_at = 0;
    Failure m_memberFailure = Failure::None;
    bool m_stopped = false;
};

} // namespace archives
