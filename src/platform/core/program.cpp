#include "platform/core/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace platform {

QString applicationTitle()
{
    return QStringLiteral("Quarlex");
}

QString programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString lastLocationFolder(const QString &programFolder)
{
    const QFileInfo folder(programFolder);
    if (folder.isDir() && folder.isWritable())
        return programFolder;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir::toNativeSeparators(config);
}

void endProgram()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace platform
