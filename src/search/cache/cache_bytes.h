#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The pieces the cache's files are made of: little-endian numbers and a checksum.
namespace textcache::bytes {

inline void appendNumber(QByteArray &out, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// The `size`-byte number at `at`, which the caller has checked lies within `bytes`.
inline quint64 numberAt(QByteArrayView bytes, qsizetype at, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint64(quint8(bytes[at + i])) << (8 * i);
    return value;
}

// XXH3 of the bytes: the checksum of heads and summaries, several times faster than a CRC-32 over
// a summary of some KiB, and the hash an entry's key is found by in memory.
quint64 checksum(QByteArrayView bytes);

// XXH3-64 of every byte of the open file `fd`, read from its start in blocks of 1 MiB (XXH3 keeps
// up with memory: the disk sets the pace); nothing on a read error.
std::optional<quint64> fileChecksum(int fd);

} // namespace textcache::bytes
