#pragma once

namespace platform {

// Runs the user interface events that are waiting, then returns. Any event handler of any window
// may run inside.
void processPendingEvents();

} // namespace platform
