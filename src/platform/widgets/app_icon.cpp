#include "platform/widgets/app_icon.h"

#include <QDirIterator>
#include <QIcon>
#include <QPixmap>

namespace platform {

QIcon applicationIcon()
{
    // One <size>x<size>/apps/quarlex.png per size; the size folders are whatever the build
    // put into the resource.
    QIcon icon;
    QDirIterator files(QStringLiteral(":/icons/hicolor"), {QStringLiteral("quarlex.png")},
                       QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        icon.addPixmap(QPixmap(files.next()));
    return icon;
}

} // namespace platform
