#include "platform/widgets/shell_opener.h"

#include "platform/core/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

QString DesktopShellOpener::absolutePath(const QString &file, const QString &workingFolder)
{
    const QString folder = QDir::current().absoluteFilePath(workingFolder);
    return QDir::cleanPath(folder + QLatin1Char('/') + file);
}

bool DesktopShellOpener::open(QWidget *owner, const QString &verb, const QString &file,
                              const QString &parameters, const QString &workingFolder,
                              int showState)
{
    Q_UNUSED(owner);
    Q_UNUSED(parameters);
    Q_UNUSED(showState);
    if (verb != QStringLiteral("open") || file.isEmpty())
        return false;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return false;
    const QString path = absolutePath(file, workingFolder);
    // Arguments reach the process as UTF-8: a path that is not UTF-8 goes as a file URL that
    // names its exact bytes, percent-encoded, which the desktop decodes back to them.
    const QString argument = hasRawBytes(path) ? QString::fromLatin1(fileUrl(path)) : path;
    QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(workingFolder));
    if (hasRawBytes(folder) || !QFileInfo(folder).isDir())
        folder = QDir::rootPath();
    return QProcess::startDetached(opener, {argument}, folder);
}

} // namespace platform
