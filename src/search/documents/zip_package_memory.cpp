// The parts of a package held in memory, inflated whole in one call (libdeflate), far faster
// than block by block through the archive reader.
#include "search/documents/zip_package.h"

#include "platform/core/little_endian.h"
#include "search/documents/zip_limits.h"

#include <libdeflate.h>

#include <cstring>

namespace documents {

namespace {

// Entries up to this size are inflated whole, in one call, when their package is in memory.
constexpr qint64 kMaxWholeEntry = qint64(16) << 20;

struct Decompressor
{
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    ~Decompressor() { libdeflate_free_decompressor(decompressor); }
};

// The buffer parts are inflated whole into, kept by the thread for the next part (a part is
// inflated while another is handed over only if a block handler reads one: that one gets a
// buffer of its own). One that grew large is given back after use.
struct WholeBuffer
{
    static constexpr qsizetype kKept = qsizetype(1) << 20;
    thread_local static QByteArray shared;
    thread_local static bool busy;
    QByteArray own;
    QByteArray &bytes;
    const bool mine;
    WholeBuffer() : bytes(busy ? own : shared), mine(!busy) { busy = true; }
    ~WholeBuffer()
    {
        if (!mine)
            return;
        busy = false;
        if (shared.capacity() > kKept)
            shared = QByteArray();
    }
};
thread_local QByteArray WholeBuffer::shared;
thread_local bool WholeBuffer::busy = false;

} // namespace

// A part of a package in memory: inflated in one call, far faster than block by block. Its size
// is the declared one (else the whole inflation fails and the blocks tell).
std::optional<ZipPackage::Status>
ZipPackage::inflateFromMemory(const Entry &entry,
                              const std::function<bool(QByteArrayView)> &block) const
{
    WholeBuffer buffer;
    QByteArray &whole = buffer.bytes;
    if (!inflateWhole(entry, whole))
        return std::nullopt;
    const qint64 size = whole.size();
    m_inflated += size;
    if (overRatio(size, kMaxRatio * std::max<qint64>(entry.compressed, 1)) ||
        packageOverRatio(m_inflated) || m_inflated > kMaxPackageInflated)
        return Status::TooLarge;
    for (qsizetype at = 0; at < size; at += kBlockSize) {
        if (!block(QByteArrayView(whole).sliced(at, std::min(kBlockSize, size - at))))
            return Status::Stopped;
    }
    return Status::Ok;
}

bool ZipPackage::inflateWhole(const Entry &entry, QByteArray &out) const
{
    if (m_bytes.isEmpty() || entry.localHeader < 0 || entry.declared < 0 ||
        entry.declared > kMaxWholeEntry || (entry.method != 0 && entry.method != 8))
        return false;
    // The local header must be the entry's: its signature and its name.
    const qint64 header = entry.localHeader;
    if (header + 30 > m_bytes.size() || platform::le32(m_bytes, header) != 0x04034B50)
        return false;
    const qint64 nameLength = platform::le16(m_bytes, header + 26);
    const qint64 data = header + 30 + nameLength + platform::le16(m_bytes, header + 28);
    const qint64 compressed = entry.packed;
    if (compressed < 0 || data + compressed > m_bytes.size() ||
        QByteArrayView(m_bytes).sliced(header + 30, nameLength) != QByteArrayView(entry.name))
        return false;
    const char *input = m_bytes.constData() + data;
    out.resize(qsizetype(entry.declared));
    if (entry.method == 0) {
        if (compressed != entry.declared)
            return false;
        std::memcpy(out.data(), input, size_t(compressed));
    } else {
        thread_local Decompressor context;
        // Exactly the declared size from exactly the compressed bytes, or failure: a part that
        // inflates to more or less, or whose stream ends before its data does, is read block by
        // block, where the limits and the damage are told.
        size_t consumed = 0;
        if (!context.decompressor ||
            libdeflate_deflate_decompress_ex(context.decompressor, input, size_t(compressed),
                                             out.data(), size_t(out.size()), &consumed,
                                             nullptr) != LIBDEFLATE_SUCCESS ||
            qint64(consumed) != compressed)
            return false;
    }
    return libdeflate_crc32(0, out.constData(), size_t(out.size())) == entry.crc;
}

} // namespace documents
