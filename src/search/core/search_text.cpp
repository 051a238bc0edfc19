#include "search/core/search_text.h"

#include "platform/core/file_slot.h"

#include <QFileInfo>

namespace search {

QString readFailureReason(ReadStatus status)
{
    switch (status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::NotFound:
        return QStringLiteral(u"文件不存在");
    case ReadStatus::NoPermission:
        return QStringLiteral(u"没有读取权限");
    case ReadStatus::IsDirectory:
        return QStringLiteral(u"这是一个文件夹");
    case ReadStatus::ReadError:
        return QStringLiteral(u"读取出错");
    }
    return QString();
}

ReadStatus classifyOpenFailure(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) // also a dangling symbolic link
        return ReadStatus::NotFound;
    if (info.isDir())
        return ReadStatus::IsDirectory;
    if (!info.isReadable())
        return ReadStatus::NoPermission;
    return ReadStatus::ReadError;
}

SearchTextResult ReadSearchText(const QString &path, const std::function<void()> &yield)
{
    SearchTextResult result;
    platform::FileSlot slot;
    if (!slot.openInput(path)) {
        result.status = classifyOpenFailure(path);
        return result;
    }
    QString field;
    while (!slot.atEnd()) {
        if (yield)
            yield();
        if (!slot.readField(field))
            break; // a read error, told below
        result.text += field;
    }
    // The end-of-file test also answers true when reading failed.
    if (slot.readFailed()) {
        result.text.clear();
        result.status = ReadStatus::ReadError;
    }
    slot.closeAll();
    return result;
}

} // namespace search
