#include "search/core/search_run.h"

#include "search/core/entry_list.h"
#include "search/core/search_text.h"

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
        const SearchTextResult file = ReadSearchText(path, [this] { keepGoing(); });
        if (m_cancelled) // the file was not searched to its end
            break;
        if (!file.ok())
            m_unreadable.append(UnreadableFile{entry.name, readFailureReason(file.status)});
        else if (FindA(keyword, file.text))
            m_body += HitEntry(entry.name, file.text, keyword);
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
