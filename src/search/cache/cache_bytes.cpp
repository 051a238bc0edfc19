#include "search/cache/cache_bytes.h"

#include "platform/core/file_ops.h"

// Compiled in: no library to load for it.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace textcache::bytes {

quint64 checksum(QByteArrayView bytes)
{
    return quint64(XXH3_64bits(bytes.data(), size_t(bytes.size())));
}

std::optional<quint64> fileChecksum(int fd)
{
    XXH3_state_t *const state = XXH3_createState();
    if (!state)
        return std::nullopt;
    XXH3_64bits_reset(state);
    thread_local QByteArray block;
    block.resize(1 << 20);
    std::optional<quint64> hash;
    for (qint64 at = 0;;) {
        const qsizetype got = platform::readAt(fd, block.data(), block.size(), at);
        if (got < 0)
            break;
        XXH3_64bits_update(state, block.constData(), size_t(got));
        at += got;
        if (got < block.size()) {
            hash = quint64(XXH3_64bits_digest(state));
            break;
        }
    }
    XXH3_freeState(state);
    return hash;
}

} // namespace textcache::bytes
