#include "search/core/run_report.h"

#include "platform/core/paths.h"
#include "search/core/file_search.h"
#include "search/formats/format_module.h"

namespace search {

QString copyHitMember(const ReportHit &hit, const formats::Readers *readers)
{
    return (readers ? *readers : formats::defaultReaders()).copyMember(hit.path, hit.member);
}

void RunReport::addHit(const QString &shownName, const QString &path, const QString &excerpt,
                       const QList<int> &member)
{
    const QString hit = hitEntryFromExcerpt(shownName, excerpt);
    m_hits.append(ReportHit{path, m_body.size(), hit.size(), member});
    m_body += hit;
}

void RunReport::add(const QString &name, const QString &path, const FileSearchResult &result)
{
    const QString shown = platform::visibleName(name);
    switch (result.outcome) {
    case FileSearchResult::Outcome::Hit:
        addHit(shown, path, result.excerpt, {});
        break;
    case FileSearchResult::Outcome::Unreadable:
        m_unreadable.append(UnreadableFile{shown, readFailureReason(result.status)});
        break;
    case FileSearchResult::Outcome::NoHit:
    case FileSearchResult::Outcome::Stopped: // cancelled before the file was searched through
        break;
    case FileSearchResult::Outcome::Archive:
        // Each member that holds the keyword is an entry of its own, named by the archive's
        // entry name and the member's path below it.
        for (const MemberOutcome &member : result.members) {
            const QString memberName =
                member.path.isEmpty() ? shown : shown + u'/' + platform::visibleName(member.path);
            if (member.hit)
                addHit(memberName, path, member.excerpt, member.chain);
            else
                m_unreadable.append(UnreadableFile{memberName, readFailureReason(member.status)});
        }
        break;
    }
}

QString RunReport::text() const
{
    QString body = m_body + unreadableBlock(m_unreadable);
    if (m_cancelled)
        body += cancelledLine();
    return ReportText(platform::visibleName(m_folderPath), body);
}

QList<ReportHit> RunReport::hits() const
{
    // The body follows the header unchanged, so an entry's place in the report is its place in
    // the body moved by the header's length.
    const qsizetype header = ReportText(platform::visibleName(m_folderPath), QString()).size();
    QList<ReportHit> hits = m_hits;
    for (ReportHit &hit : hits)
        hit.start += header;
    return hits;
}

} // namespace search
