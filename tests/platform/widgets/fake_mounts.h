#pragma once

#include "platform/widgets/drives.h"

#include <QDir>
#include <QTemporaryDir>

// Two drives mounted on temporary folders, "A" with a label and "B" without, and a third one
// whose mount point is gone.
struct FakeMounts
{
    QTemporaryDir dir;
    QString a, b, gone;
    QList<platform::Drive> drives;

    // Makes the drives' folders; false when they could not be made.
    [[nodiscard]] bool setUp()
    {
        if (!dir.isValid())
            return false;
        a = dir.filePath(QStringLiteral("a"));
        b = dir.filePath(QStringLiteral("b"));
        gone = dir.filePath(QStringLiteral("gone"));
        const QStringList folders{a + QStringLiteral("/work/deeper"), a + QStringLiteral("/Other"),
                                  b + QStringLiteral("/x/y"), b + QStringLiteral("/.hidden"),
                                  b + QStringLiteral("/Z")};
        for (const QString &folder : folders) {
            if (!QDir().mkpath(folder))
                return false;
        }
        drives = {{a, QStringLiteral("DISK A")}, {b, QString()}, {gone, QStringLiteral("CD")}};
        return true;
    }

    platform::Drives::Source source()
    {
        return [this] { return drives; };
    }
};
