#include "settings/last_location.h"

#include "platform/core/file_slot.h"
#include "platform/core/paths.h"
#include "platform/core/text_encoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace settings {

namespace {

const QString kBeginMarker = QStringLiteral(u"[路径]");
const QString kEndMarker = QStringLiteral(u"[/路径]");

QString fileName()
{
    return lastLocationFileName();
}

// Every regular file of `folder` named like the last-location file, in any case.
QFileInfoList candidates(const QString &folder)
{
    QDir dir(folder);
    // Name filters match without regard to case unless QDir::CaseSensitive is given; no
    // QDir::System, so a FIFO of that name (which would block the read) is not taken.
    return dir.entryInfoList({fileName()}, QDir::Files | QDir::Hidden, QDir::Time);
}

// Reads the next field unless the file has ended; a read past the end fails and leaves the
// value as it was.
void readField(platform::FileSlot &slot, QString &value)
{
    if (slot.atEnd())
        return;
    QString field;
    if (slot.readField(field))
        value = field;
}

} // namespace

QString lastLocationFileName()
{
    return QStringLiteral("find.ini");
}

QString findLastLocationFile(const QString &folder)
{
    const QFileInfoList files = candidates(folder);
    return files.isEmpty() ? QString() : platform::childPath(folder, files.first().fileName());
}

LastLocation readLastLocation(const QString &folder)
{
    LastLocation location;
    const QString path = findLastLocationFile(folder);
    if (path.isEmpty())
        return location;
    platform::FileSlot slot;
    if (!slot.openInput(path))
        return location;
    readField(slot, location.drive);
    readField(slot, location.drive);
    readField(slot, location.path);
    slot.closeAll();
    // A folder whose name is not UTF-8 was written as it is shown; its bytes are found again.
    location.path = platform::pathFromDisplay(location.path);
    return location;
}

bool writeLastLocation(const QString &folder, const LastLocation &held)
{
    // Names that are not UTF-8 are written as they are shown, decoded as GB18030: in the GBK
    // code page that is their own bytes, and the file stays readable.
    const LastLocation location{platform::displayName(held.drive),
                                platform::displayName(held.path)};
    const bool codePage = platform::isCodePageEncodable(location.drive) &&
                          platform::isCodePageEncodable(location.path);
    const auto encoding = codePage ? platform::FileSlot::OutputEncoding::CodePage
                                   : platform::FileSlot::OutputEncoding::Utf8WithBom;
    platform::FileSlot slot;
    bool ok = slot.openOutput(platform::childPath(folder, fileName()), encoding);
    ok = ok && slot.writeLine(kBeginMarker);
    ok = ok && slot.writeLine(location.drive);
    ok = ok && slot.writeLine(location.path);
    ok = ok && slot.writeLine(kEndMarker);
    ok = slot.closeAll() && ok;
    if (!ok)
        return false;
    for (const QFileInfo &other : candidates(folder)) {
        if (other.fileName() != fileName())
            QFile::remove(other.absoluteFilePath());
    }
    return true;
}

} // namespace settings
