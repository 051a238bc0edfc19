#pragma once

#include <QString>

namespace settings {

// The drive and folder the chooser showed when it was last closed.
struct LastLocation
{
    QString drive; // as the drive list reports it
    QString path;  // as the folder list reports it
};

// The name the last-location file is written under.
QString lastLocationFileName();

// The existing last-location file in `folder`: a regular file whose name is "find.ini" in any
// case ("Find.INI" too); the newest when there are several. Empty when there is none.
QString findLastLocationFile(const QString &folder);

// Reads the last-location file of `folder` the way it was always read: three fields by the
// text field rules (the first, the "[路径]" marker line, is skipped; a comma ends a value and
// leading blanks are dropped), nothing more of the file. A path written for a folder whose name is
// not UTF-8 is taken back to that folder's bytes (platform::pathFromDisplay). Without a file both
// values are empty; a field the file does not have is not read, so the value keeps what the read
// before gave.
LastLocation readLastLocation(const QString &folder);

// Writes the four lines "[路径]", drive, path, "[/路径]" (CR LF) to `folder`/find.ini, replacing
// the file whole and atomically, and removes the same name in other cases so that one file
// remains. The file is in the GBK code page, or in UTF-8 with a byte-order mark when a value
// has characters GBK cannot hold. Values are written as platform::displayName() shows them, so
// a GBK-named folder is written in the code page as its own bytes. Returns false when the file
// could not be written.
bool writeLastLocation(const QString &folder, const LastLocation &location);

} // namespace settings
