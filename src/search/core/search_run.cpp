#include "search/core/search_run.h"

#include "search/core/entry_list.h"
#include "search/core/file_search.h"

namespace search {

RunSnapshot RunSnapshot::take(const EntryList &list)
{
    RunSnapshot snapshot;
    snapshot.folderPath = list.folderPath();
    const int count = list.entryCount();
    snapshot.entries.reserve(count);
    for (int i = 0; i < count; ++i)
        snapshot.entries.append(RunEntry{list.entryName(i), list.isSelected(i)});
    return snapshot;
}

SearchRun::SearchRun(RunSnapshot snapshot, std::function<QString()> keyword,
                     std::function<void()> yield)
    : m_snapshot(std::move(snapshot)), m_keyword(std::move(keyword)), m_yield(std::move(yield))
{}

void SearchRun::cancel()
{
    m_cancelled = true;
}

void SearchRun::yieldNow()
{
    if (m_yield)
        m_yield();
    m_sinceYield.start();
}

bool SearchRun::keepGoing()
{
    if (m_sinceYield.elapsed() >= m_yieldIntervalMs)
        yieldNow();
    return !m_cancelled;
}

void SearchRun::run()
{
    if (m_running)
        return;
    m_running = true;
    m_body.clear();
    m_unreadable.clear();
    for (const RunEntry &entry : std::as_const(m_snapshot.entries)) {
        yieldNow();
        if (m_cancelled)
            break;
        if (!entry.selected)
            continue;
        const QString path = m_snapshot.folderPath + u'/' + entry.name;
        const QString keyword = m_keyword ? m_keyword() : QString();
        const FileSearchResult file =
            m_search.search(path, keyword, [this] { return keepGoing(); });
        switch (file.outcome) {
        case FileSearchResult::Outcome::Hit:
            m_body += hitEntryFromExcerpt(entry.name, file.excerpt);
            break;
        case FileSearchResult::Outcome::NoHit:
            break;
        case FileSearchResult::Outcome::Unreadable:
            m_unreadable.append(UnreadableFile{entry.name, readFailureReason(file.status)});
            break;
        case FileSearchResult::Outcome::Stopped: // cancelled before the file was searched through
            break;
        }
        if (m_cancelled)
            break;
    }
    m_running = false;
}

QString SearchRun::reportText() const
{
    QString body = m_body + unreadableBlock(m_unreadable);
    if (m_cancelled)
        body += cancelledLine();
    return ReportText(m_snapshot.folderPath, body);
}

} // namespace search
