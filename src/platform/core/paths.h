#pragma once

#include <QString>

namespace platform {

// The path of `name` inside `folder`, with one separator between them (a root folder such as
// "/" already ends with one).
inline QString childPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

} // namespace platform
