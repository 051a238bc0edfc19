#pragma once

// The report's parts as a test expects them, written out from the report's layout and not from
// the code that writes the report: the header, a hit's entry, an unreadable file's line.

#include <QString>

namespace expected {

// The header of a report on `folder`: an empty line, the folder after two spaces and a '/', and
// two empty lines. Lines end in CR LF.
inline QString reportHeader(const QString &folder)
{
    return QStringLiteral("\r\n  ") + folder + QStringLiteral("/\r\n\r\n\r\n");
}

// The entry of a file that holds the keyword: its name after 26 spaces and a full-width colon,
// an empty line, the excerpt after 40 spaces and "...", an empty line.
inline QString hitEntry(const QString &name, const QString &excerpt)
{
    return QString(26, u' ') + name + QStringLiteral(u"：\r\n\r\n") + QString(40, u' ') + excerpt +
           QStringLiteral("...\r\n\r\n");
}

// The line of a file that could not be read, below the heading of such files: its name after 26
// spaces, a full-width colon and the reason, then an empty line.
inline QString unreadableEntry(const QString &name, const QString &reason)
{
    return QString(26, u' ') + name + u'：' + reason + QStringLiteral("\r\n\r\n");
}

// The heading of the files that could not be read, and the line that ends a cancelled report.
inline const QString kUnreadableHeading = QStringLiteral(u"\r\n  以下文件无法读取：\r\n\r\n");
inline const QString kCancelLine =
    QStringLiteral(u"\r\n  查找已取消，以上是取消前找到的结果。\r\n");

// `report` as the report box shows it: every CR LF a line feed.
inline QString shownInTheBox(QString report)
{
    return report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace expected
