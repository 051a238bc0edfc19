#include "platform/core/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

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
    // Permission bits do not tell (root, read-only mounts, ACLs): try to create a file there.
    if (QFileInfo(programFolder).isDir()) {
        QTemporaryFile probe(programFolder + QStringLiteral("/.quarlex-probe-XXXXXX"));
        if (probe.open())
            return programFolder;
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir::toNativeSeparators(config);
}

void pinTimeZone()
{
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

void endProgram()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace platform
