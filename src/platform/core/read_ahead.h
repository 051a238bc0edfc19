#pragma once

#include <QStringList>

#include <memory>

namespace platform {

// Asks the system to read the next files of a run into its page cache while the current one is
// searched: a worker thread opens each in turn, at most `depth` files ahead of the search, hands
// it to posix_fadvise(WILLNEED), which starts the disk reads and returns, and closes it. The
// bytes stay in the system's cache, not here, so memory does not grow; the search reads them
// from there in list order as before. On a cold disk the reads of the next files overlap the
// search of this one; on a warm cache the opening runs on the other core.
class ReadAhead
{
public:
    explicit ReadAhead(QStringList paths, int depth = 16);
    // Stops the worker without waiting for it (it may be inside a slow open).
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The search has come to paths[index].
    void reached(int index);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

} // namespace platform
