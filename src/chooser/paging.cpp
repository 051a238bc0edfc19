#include "chooser/paging.h"

namespace chooser {

int pageTarget(int current, int count, PageDirection direction)
{
    if (count <= 0)
        return -1;
    // In 64 bits, so no current index is near enough to the limits to overflow.
    const long long target =
        static_cast<long long>(current) + (direction == PageDirection::Up ? -kPageStep : kPageStep);
    if (target >= 0 && target < count)
        return static_cast<int>(target);
    return direction == PageDirection::Up ? 0 : count - 1;
}

} // namespace chooser
