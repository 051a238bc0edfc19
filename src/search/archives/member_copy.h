#pragma once

#include <QList>
#include <QString>

namespace archives {

// Copies one member out of the archive at `archivePath`: `chain` is the member's entry index at
// each level of nesting, as a walk names it. The copy is a new file in a folder of its own below
// platform::memberCopiesFolder(), named by the last part of the member's path made safe (no folder
// can be named through it, whatever the archive holds), and appears only once complete. Returns its
// path, or an empty string when the member cannot be copied (gone, damaged, encrypted, a bomb,
// or larger than the free space leaves room for).
QString copyMember(const QString &archivePath, const QList<int> &chain);

// The last part of a member's path as a file name that stays inside its folder: no "/", NUL,
// "." or ".." and at most 200 bytes of UTF-8; "member" when nothing is left.
QString safeCopyName(const QString &memberPath);

} // namespace archives
