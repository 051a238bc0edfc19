#pragma once

#include <QString>
#include <QStringView>

namespace documents {

class ZipPackage;

// The package path that `location` (as an OFD part writes it) names, seen from the folder `folder`
// ("" for the package root, else "a/b" without slashes at either end): "\" is a separator, a
// leading "/" starts at the root, "." and ".." are walked (never above the root).
QString resolveOfdLocation(QStringView folder, QStringView location);

// The folder of the package path `path`.
QString folderOf(const QString &path);

// The entry of `package` that `location` names from `folder`, as resolveOfdLocation gives it; or,
// when the package has no such entry, from the package root, or with "\" separators as some
// writers store entry names. Empty when none is there.
QString findOfdEntry(const ZipPackage &package, const QString &folder, QStringView location);

} // namespace documents
