#pragma once

#include <QtGlobal>

#include <cerrno>
#include <unistd.h>

namespace platform {

// Writes all `size` bytes to the descriptor, going on after a short or interrupted write; false
// on an error (a full disk).
inline bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace platform
