#include "search/cache/cache_bytes.h"

// Compiled in: no library to load for it.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace textcache::bytes {

quint64 checksum(QByteArrayView bytes)
{
    return quint64(XXH3_64bits(bytes.data(), size_t(bytes.size())));
}

} // namespace textcache::bytes
