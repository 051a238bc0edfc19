#include "search/core/file_search.h"

#include "platform/core/chunk_reader.h"
#include "search/archives/archive_walk.h"
#include "search/cache/text_cache.h"
#include "search/formats/readers.h"

#include <QFileInfo>

namespace search {

namespace {

// A member's bytes as the text search reads them.
class MemberBytes : public ByteSource
{
public:
    explicit MemberBytes(archives::MemberBytes &stream) : m_stream(stream) {}
    qint64 readInto(QByteArray &buffer, qsizetype size) override
    {
        return m_stream.readInto(buffer, size);
    }
    bool rewind() override { return m_stream.rewind(); }
    bool atEnd() const override { return m_stream.atEnd(); }

private:
    archives::MemberBytes &m_stream;
};

ReadStatus statusFor(archives::Failure failure)
{
    return failure == archives::Failure::Encrypted ? ReadStatus::Encrypted : ReadStatus::Damaged;
}

} // namespace

// Searches every member the walk hands out as a file of its kind would be searched, and keeps
// the members that hit or could not be read, in order.
class ArchiveSearch : public archives::Visitor
{
public:
    // `archive`: the open archive file, whose key the text of document members is kept under;
    // -1 when no text is kept.
    ArchiveSearch(FileSearch &search, const Keyword &keyword, platform::WorkMonitor &monitor,
                  int archive)
        : m_search(search), m_keyword(keyword), m_monitor(monitor), m_archive(archive)
    {}

    void text(const archives::MemberPlace &member, archives::MemberBytes &bytes) override
    {
        MemberBytes source(bytes);
        note(member, m_search.searchText(source, m_keyword, m_monitor, bytes.canRewind()));
    }

    void document(const archives::MemberPlace &member,
                  std::unique_ptr<documents::Document> document) override
    {
        const std::optional<textcache::FileKey> &archiveKey = this->archiveKey();
        if (!archiveKey) {
            note(member, m_search.searchDocument(std::move(document), m_keyword, m_monitor));
            return;
        }
        // The text of a document member is kept under the archive's key and the member's place:
        // its entry index at every level, then its path.
        QString place;
        for (const int index : member.chain)
            place += QString::number(index) + u'/';
        place += u'\n' + member.path;
        if (const std::optional<FileSearchResult> cached =
                m_search.searchCached(*archiveKey, m_keyword, m_monitor, place)) {
            note(member, *cached);
            return;
        }
        note(member,
             m_search.searchDocument(std::move(document), m_keyword, m_monitor, archiveKey, place));
    }

    void failed(const archives::MemberPlace &member, archives::Failure why) override
    {
        m_members.append(
            MemberOutcome{member.path, member.chain, false, QString(), statusFor(why)});
    }

    bool keepGoing() override
    {
        if (m_stopped || !m_monitor.keepGoing())
            m_stopped = true;
        return !m_stopped;
    }

    bool stopped() const { return m_stopped; }
    QList<MemberOutcome> takeMembers() { return std::move(m_members); }

private:
    // Made at the first document member: where the file system's times do not tell changes, the
    // key reads the whole archive, which an archive of text members never needs.
    const std::optional<textcache::FileKey> &archiveKey()
    {
        if (m_archive >= 0 && !m_keyMade) {
            m_keyMade = true;
            m_archiveKey = textcache::FileKey::ofOpen(m_archive);
        }
        return m_archiveKey;
    }

    void note(const archives::MemberPlace &member, const FileSearchResult &result)
    {
        switch (result.outcome) {
        case FileSearchResult::Outcome::Hit:
            m_members.append(
                MemberOutcome{member.path, member.chain, true, result.excerpt, ReadStatus::Ok});
            break;
        case FileSearchResult::Outcome::Unreadable:
            m_members.append(
                MemberOutcome{member.path, member.chain, false, QString(), result.status});
            break;
        case FileSearchResult::Outcome::Stopped:
            m_stopped = true;
            break;
        case FileSearchResult::Outcome::NoHit:
        case FileSearchResult::Outcome::Archive:
            break;
        }
    }

    FileSearch &m_search;
    const Keyword &m_keyword;
    platform::WorkMonitor &m_monitor;
    const int m_archive;
    bool m_keyMade = false;
    std::optional<textcache::FileKey> m_archiveKey;
    QList<MemberOutcome> m_members;
    bool m_stopped = false;
};

FileSearchResult FileSearch::searchCarrying(std::unique_ptr<documents::Document> document,
                                            platform::ChunkReader &file, const Keyword &keyword,
                                            platform::WorkMonitor &monitor)
{
    std::unique_ptr<documents::Attachments> carried = document->takeAttachments();
    const FileSearchResult own = searchDocument(std::move(document), keyword, monitor);
    if (own.outcome == FileSearchResult::Outcome::Stopped)
        return own;
    FileSearchResult result;
    // The document's own text is its entry (an empty member path), before its files.
    if (own.outcome == FileSearchResult::Outcome::Hit ||
        own.outcome == FileSearchResult::Outcome::Unreadable)
        result.members.append(MemberOutcome{
            QString(), {}, own.outcome == FileSearchResult::Outcome::Hit, own.excerpt, own.status});
    ArchiveSearch search(*this, keyword, monitor, m_options.textCache ? file.descriptor() : -1);
    m_carrying = true;
    const archives::WalkEnd end =
        carried ? readers().walkAttachments(std::move(carried), file.size(), search)
                : archives::WalkEnd::Done;
    m_carrying = false;
    m_stats.archive = true;
    if (end == archives::WalkEnd::Stopped || search.stopped()) {
        result.outcome = FileSearchResult::Outcome::Stopped;
        result.members.clear();
        return result;
    }
    result.outcome = FileSearchResult::Outcome::Archive;
    result.readAs = FileSearchResult::ReadAs::Archive;
    result.members += search.takeMembers();
    return result;
}

FileSearchResult FileSearch::searchArchive(platform::ChunkReader &file, const QString &path,
                                           const Keyword &keyword, platform::WorkMonitor &monitor)
{
    // The first chunk read already starts the archive; the buffer then serves the members.
    const QByteArray head(m_raw.constData(), m_raw.size());
    ArchiveSearch search(*this, keyword, monitor, m_options.textCache ? file.descriptor() : -1);
    const archives::WalkEnd end =
        readers().walkArchive(file, head, QFileInfo(path).fileName(), search);
    // Set after the walk: each member's search starts the statistics afresh.
    m_stats.archive = true;
    FileSearchResult result;
    if (end == archives::WalkEnd::Stopped || search.stopped()) {
        result.outcome = FileSearchResult::Outcome::Stopped;
        return result;
    }
    result.outcome = FileSearchResult::Outcome::Archive;
    result.readAs = FileSearchResult::ReadAs::Archive;
    result.members = search.takeMembers();
    return result;
}

} // namespace search
