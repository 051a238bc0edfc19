#include "search/documents/chm/chm_checks.h"

#include "platform/core/little_endian.h"

#include <QByteArray>
#include <QIODevice>

#include <chm_lib.h>

#include <vector>

namespace documents {

namespace {

constexpr qint64 kItsfLength = 0x60;
constexpr quint32 kItspLength = 0x54;
constexpr int kPmglHeader = 0x14;
constexpr int kPmgiHeader = 0x08;
// More directory chunks than this is no help file (a chunk holds dozens of entries).
constexpr quint32 kMaxChunks = 1u << 20;
constexpr quint64 kMaxResetTable = quint64(16) << 20;
// The largest LZX control data chm_open reads (its buffer).
constexpr quint64 kMaxControlData = 256;

const QByteArray kControlData = "::DataSpace/Storage/MSCompressed/ControlData";
const QByteArray kResetTable = "::DataSpace/Storage/MSCompressed/Transform/"
                               "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";

using platform::le32;
using platform::le64;

// A directory's variable-length number (7 bits a byte, most significant first) that must end
// before `end`; false when it does not or does not fit 64 bits.
bool readEncint(const QByteArray &chunk, qsizetype &at, qsizetype end, quint64 &value)
{
    value = 0;
    for (int bytes = 0; at < end && bytes < 9; ++bytes) {
        const uchar byte = uchar(chunk[at++]);
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

// A directory entry that chm_open reads for the compressed section.
struct Unit
{
    QByteArray name;
    quint64 space = 0;
    quint64 start = 0;
    quint64 length = 0;
};

// One directory chunk as the checks see it.
struct Chunk
{
    enum Type { Other, Listing, Index } type = Other;
    qint64 next = -1;              // a listing chunk's successor
    std::vector<quint32> children; // an index chunk's
};

// True when the entries of `chunk` lie inside its used part (see checkHelpFile). The entries of
// a listing chunk named as the compressed section's tables go to `units`.
bool readEntries(const QByteArray &chunk, Chunk &into, quint32 chunks, std::vector<Unit> &units)
{
    const bool listing = into.type == Chunk::Listing;
    const int header = listing ? kPmglHeader : kPmgiHeader;
    const quint32 freeSpace = le32(chunk, 4);
    if (freeSpace > quint32(chunk.size() - header))
        return false;
    const qsizetype end = chunk.size() - qsizetype(freeSpace);
    qsizetype at = header;
    while (at < end) {
        quint64 nameLength = 0;
        if (!readEncint(chunk, at, end, nameLength) || nameLength == 0 ||
            nameLength > CHM_MAX_PATHLEN || nameLength >= quint64(end - at))
            return false;
        const QByteArray name = chunk.mid(at, qsizetype(nameLength));
        if (name.contains('\0'))
            return false;
        at += qsizetype(nameLength);
        quint64 values[3] = {};
        for (int field = 0; field < (listing ? 3 : 1); ++field) {
            if (!readEncint(chunk, at, end, values[field]))
                return false;
        }
        if (!listing) {
            if (values[0] >= chunks)
                return false;
            into.children.push_back(quint32(values[0]));
        } else if (name.compare(kControlData, Qt::CaseInsensitive) == 0 ||
                   name.compare(kResetTable, Qt::CaseInsensitive) == 0) {
            units.push_back({name.toLower(), values[0], values[1], values[2]});
        }
    }
    return true;
}

// True when the descent from the index chunk `root` reaches listing chunks only, and never
// comes back to a chunk it is going down from.
bool indexTreeIsSound(const std::vector<Chunk> &chunks, quint32 root)
{
    enum : char { Unseen, Open, Closed };
    std::vector<char> state(chunks.size(), Unseen);
    std::vector<std::pair<quint32, size_t>> stack{{root, 0}};
    state[root] = Open;
    while (!stack.empty()) {
        const quint32 page = stack.back().first;
        const Chunk &chunk = chunks[page];
        if (chunk.type == Chunk::Other)
            return false;
        if (chunk.type == Chunk::Listing || stack.back().second == chunk.children.size()) {
            state[page] = Closed;
            stack.pop_back();
            continue;
        }
        const quint32 next = chunk.children[stack.back().second++];
        if (state[next] == Open)
            return false;
        if (state[next] == Unseen) {
            state[next] = Open;
            stack.emplace_back(next, 0);
        }
    }
    return true;
}

// The LZX control data as chm_open computes with it (in 32 bits, as it does).
bool controlDataIsSound(const QByteArray &control)
{
    if (control.size() < 0x18 || control.mid(4, 4) != "LZXC")
        return false;
    quint32 resetInterval = le32(control, 0xC);
    quint32 window = le32(control, 0x10);
    const quint32 windowsPerReset = le32(control, 0x14);
    if (le32(control, 8) == 2) {
        if (resetInterval > 0xFFFFFFFFu / 0x8000 || window > 0xFFFFFFFFu / 0x8000)
            return false;
        resetInterval *= 0x8000;
        window *= 0x8000;
    }
    if (window < (1u << 15) || window > (1u << 21) || (window & (window - 1)) != 0 ||
        resetInterval == 0 || resetInterval % (window / 2) != 0 || windowsPerReset == 0)
        return false;
    const quint64 resetBlocks = quint64(resetInterval / (window / 2)) * windowsPerReset;
    return resetBlocks <= kMaxResetBlocks;
}

// The reset table; the section's length uncompressed when it is sound.
std::optional<quint64> resetTableLength(const QByteArray &table)
{
    if (table.size() < 0x28 || le32(table, 0) != 2)
        return std::nullopt;
    const quint64 blocks = le32(table, 4);
    const quint64 offset = le32(table, 0xC);
    const quint64 uncompressed = le64(table, 0x10);
    const quint64 compressed = le64(table, 0x18);
    const quint64 blockLength = le64(table, 0x20);
    if (blockLength < 0x8000 || blockLength > kMaxBlockBytes || blockLength % 0x8000 != 0 ||
        offset + blocks * 8 > quint64(table.size()) || uncompressed > blocks * blockLength)
        return std::nullopt;
    for (quint64 block = 0; block < blocks; ++block) {
        const quint64 start = le64(table, qsizetype(offset + block * 8));
        const quint64 end =
            block + 1 < blocks ? le64(table, qsizetype(offset + block * 8 + 8)) : compressed;
        if (end < start || end - start > blockLength + 6144)
            return std::nullopt;
    }
    return uncompressed;
}

} // namespace

std::optional<ChmLayout> checkHelpFile(QIODevice &file)
{
    ChmLayout layout;
    layout.size = file.size();
    const quint64 size = quint64(layout.size);
    if (!file.seek(0))
        return std::nullopt;
    const QByteArray itsf = file.read(kItsfLength);
    if (itsf.size() < 0x58 || !itsf.startsWith("ITSF"))
        return std::nullopt;
    const quint32 version = le32(itsf, 4);
    if ((version != 2 && version != 3) || (version == 3 && itsf.size() < kItsfLength))
        return std::nullopt;
    const quint64 dirOffset = le64(itsf, 0x48);
    const quint64 dirLength = le64(itsf, 0x50);
    if (dirOffset > size || dirLength > size - dirOffset || dirLength < kItspLength)
        return std::nullopt;
    const quint64 dataOffset = version == 3 ? le64(itsf, 0x58) : dirOffset + dirLength;
    if (dataOffset > size)
        return std::nullopt;

    if (!file.seek(qint64(dirOffset)))
        return std::nullopt;
    const QByteArray itsp = file.read(kItspLength);
    if (itsp.size() < qsizetype(kItspLength) || !itsp.startsWith("ITSP"))
        return std::nullopt;
    const quint32 chunkLength = le32(itsp, 0x10);
    const qint32 indexRoot = qint32(le32(itsp, 0x1C));
    const qint32 indexHead = qint32(le32(itsp, 0x20));
    const quint32 count = le32(itsp, 0x2C);
    if (le32(itsp, 8) != kItspLength || chunkLength < 0x20 || chunkLength > kMaxChunkBytes ||
        count == 0 || count > kMaxChunks ||
        quint64(count) * chunkLength > dirLength - kItspLength || indexHead < 0 ||
        quint32(indexHead) >= count || (indexRoot >= 0 && quint32(indexRoot) >= count))
        return std::nullopt;

    std::vector<Chunk> chunks(count);
    std::vector<Unit> units;
    for (quint32 i = 0; i < count; ++i) {
        const QByteArray chunk = file.read(chunkLength);
        if (chunk.size() != qsizetype(chunkLength))
            return std::nullopt;
        Chunk &info = chunks[i];
        if (chunk.startsWith("PMGL")) {
            info.type = Chunk::Listing;
            const qint32 next = qint32(le32(chunk, 0x10));
            if (next < -1 || (next >= 0 && quint32(next) >= count))
                return std::nullopt;
            info.next = next;
        } else if (chunk.startsWith("PMGI")) {
            info.type = Chunk::Index;
        } else {
            continue; // chmlib gives up at a chunk of another type
        }
        if (!readEntries(chunk, info, count, units))
            return std::nullopt;
    }
    std::vector<bool> listed(count, false);
    for (qint64 page = indexHead; page != -1; page = chunks[page].next) {
        if (listed[page] || chunks[page].type != Chunk::Listing)
            return std::nullopt;
        listed[page] = true;
    }
    if (!indexTreeIsSound(chunks, indexRoot >= 0 ? quint32(indexRoot) : quint32(indexHead)))
        return std::nullopt;

    // The section's tables, wherever the directory lists them (chm_open takes the ones its
    // index finds; all of them are checked). Compressed ones chmlib does not use.
    int resetTables = 0;
    for (const Unit &unit : units) {
        if (unit.space != CHM_UNCOMPRESSED)
            continue;
        const bool control = unit.name == kControlData.toLower();
        if (unit.length > (control ? kMaxControlData : kMaxResetTable) ||
            unit.start > size - dataOffset || unit.length > size - dataOffset - unit.start ||
            !file.seek(qint64(dataOffset + unit.start)))
            return std::nullopt;
        const QByteArray bytes = file.read(qint64(unit.length));
        if (bytes.size() != qsizetype(unit.length))
            return std::nullopt;
        if (control) {
            if (!controlDataIsSound(bytes))
                return std::nullopt;
        } else {
            const std::optional<quint64> length = resetTableLength(bytes);
            if (!length || ++resetTables > 1)
                return std::nullopt;
            layout.sectionLength = *length;
        }
    }
    return layout;
}

} // namespace documents
