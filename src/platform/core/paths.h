#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

// The path of `name` inside `folder`, with one separator between them (a root folder such as
// "/" already ends with one).
inline QString childPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

// The bytes the file system knows `path` by. Every file the program opens, lists or hands to the
// desktop is named through this, never through QFile::encodeName, so that a name that is not
// UTF-8 reaches the file system with the bytes it was read with (pathFromNative).
QByteArray nativePath(const QString &path);

// A path read from the file system, as the program holds it; nativePath() gives the same bytes
// back.
QString pathFromNative(QByteArrayView bytes);

} // namespace platform
