#pragma once

#include <QString>

namespace platform {

// The title every dialog of the program carries.
QString applicationTitle();

// The folder of the program's executable, without a trailing separator (except for the root).
QString programFolder();

// The folder that holds the last-location file: the program folder when the program may write
// there, otherwise (an installed program under /usr) the user's configuration folder.
// Reading and writing use the same rule, so the file is found where it was written.
QString lastLocationFolder(const QString &programFolder);

// Names the time zone file in TZ when TZ is not set (call first thing in main, before any thread
// starts). Without TZ, glibc looks at /etc/localtime again on every local time conversion, and
// libarchive converts the time of every ZIP entry it lists: a system call per entry per package
// opened. The zone stays the same one.
void pinTimeZone();

// Ends the process at once: no further event handler, destructor or unload procedure runs.
[[noreturn]] void endProgram();

} // namespace platform
