#pragma once

#include <QString>

namespace platform {

// The user's private folder for members copied out of archives to be opened: "quarlex-members"
// below $XDG_RUNTIME_DIR, or below $XDG_CACHE_HOME/quarlex (~/.cache/quarlex) when there is no
// runtime folder. Created with mode 0700 (and set to it); empty when it cannot be.
QString memberCopiesFolder();

// Removes the copies made more than `maxAgeSeconds` ago (run at start).
void removeOldMemberCopies(qint64 maxAgeSeconds = 24 * 60 * 60);

} // namespace platform
