#include "search/documents/ofd/ofd_paths.h"

#include "search/documents/zip_package.h"

#include <QStringList>

namespace documents {

QString resolveOfdLocation(QStringView folder, QStringView location)
{
    QString path = location.trimmed().toString();
    path.replace(u'\\', u'/');
    QStringList parts;
    if (!path.startsWith(u'/'))
        parts = folder.toString().split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return parts.join(u'/');
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.first(slash);
}

QString findOfdEntry(const ZipPackage &package, const QString &folder, QStringView location)
{
    QStringList candidates{resolveOfdLocation(folder, location)};
    if (!folder.isEmpty())
        candidates.append(resolveOfdLocation(QString(), location));
    for (const QString &candidate : std::as_const(candidates)) {
        if (candidate.isEmpty())
            continue;
        if (package.contains(candidate))
            return candidate;
        QString backslashed = candidate;
        backslashed.replace(u'/', u'\\');
        if (package.contains(backslashed))
            return backslashed;
    }
    return QString();
}

} // namespace documents
