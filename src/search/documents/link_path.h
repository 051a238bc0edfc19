#pragma once

#include <QString>

namespace documents {

// A path inside a package (an e-book, a help file) from a reference in a file that lies in the
// folder `base` (empty or ending with '/'): the fragment cut off, percent escapes decoded, "." and
// ".." resolved, a leading
// '/' taken from the package root. Empty for a reference outside the package (a web address).
QString resolveLink(const QString &base, QString reference);

} // namespace documents
