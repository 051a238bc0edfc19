#include "search/core/report.h"

namespace search {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

QString hitEntryFromExcerpt(const QString &name, const QString &excerpt)
{
    return QString(26, u' ') + name + u'：' + kCrLf + kCrLf + QString(40, u' ') + excerpt +
           QStringLiteral("...") + kCrLf + kCrLf;
}

QString HitEntry(const QString &name, const QString &searchText, const QString &keyword)
{
    return hitEntryFromExcerpt(name, excerptAt(searchText, FirstPosition(keyword, searchText)));
}

QString ReportText(const QString &folderPath, const QString &body)
{
    return kCrLf + QStringLiteral("  ") + folderPath + u'/' + kCrLf + kCrLf + kCrLf + body;
}

QString unreadableBlock(const QList<UnreadableFile> &files)
{
    if (files.isEmpty())
        return QString();
    QString block = kCrLf + QStringLiteral(u"  以下文件无法读取：") + kCrLf + kCrLf;
    for (const UnreadableFile &file : files)
        block += QString(26, u' ') + file.name + u'：' + file.reason + kCrLf + kCrLf;
    return block;
}

QString cancelledLine()
{
    return kCrLf + QStringLiteral(u"  查找已取消，以上是取消前找到的结果。") + kCrLf;
}

} // namespace search
