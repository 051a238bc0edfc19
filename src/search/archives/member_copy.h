#pragma once

#include <QList>
#include <QString>

namespace archives {

// The user's private folder for members copied out of archives to be opened: "quarlex-members"
// below $XDG_RUNTIME_DIR, or below $XDG_CACHE_HOME/quarlex (~/.cache/quarlex) when there is no
// runtime folder. Created with mode 0700 (and set to it); empty when it cannot be.
QString memberCopiesFolder();

// Removes the copies made more than `maxAgeSeconds` ago (run at start).
void removeOldMemberCopies(qint64 maxAgeSeconds = 24 * 60 * 60);

// Copies one member out of the archive at `archivePath`: `chain` is the member's entry index at
// each level of nesting, as a walk names it. The copy is a new file in a folder of its own below
// memberCopiesFolder(), named by the last part of the member's path made safe (no folder can be
// named through it, whatever the archive holds), and appears only once complete. Returns its
// path, or an empty string when the member cannot be copied (gone, damaged, encrypted, a bomb,
// or larger than the free space leaves room for).
QString copyMember(const QString &archivePath, const QList<int> &chain);

// The last part of a member's path as a file name that stays inside its folder: no "/", NUL,
// "." or ".." and at most 200 bytes of UTF-8; "member" when nothing is left.
QString safeCopyName(const QString &memberPath);

} // namespace archives
