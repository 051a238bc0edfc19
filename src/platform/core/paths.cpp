#include "platform/core/paths.h"

#include <QFile>

namespace platform {

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QString pathFromNative(QByteArrayView bytes)
{
    return QFile::decodeName(bytes.toByteArray());
}

} // namespace platform
