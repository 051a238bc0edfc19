#include "search/documents/chm/chm_archive.h"

#include <QFile>

#include <chm_lib.h>

#include <cstring>

namespace documents {

namespace {

constexpr qint64 kItsfLength = 0x60;
constexpr quint32 kItspLength = 0x54;
constexpr int kPmglHeader = 0x14;
constexpr int kPmgiHeader = 0x08;
// More directory chunks than this is no help file (a chunk holds dozens of entries).
constexpr quint32 kMaxChunks = 1u << 20;

// Little-endian numbers of the headers (the callers have checked that the bytes are there).
quint64 littleEndian(const QByteArray &bytes, qsizetype at, int size)
{
    quint64 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | uchar(bytes.at(at + i));
    return value;
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    return quint32(littleEndian(bytes, at, 4));
}

quint64 u64(const QByteArray &bytes, qsizetype at)
{
    return littleEndian(bytes, at, 8);
}

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

// One directory chunk as the checks see it.
struct Chunk
{
    enum Type { Other, Listing, Index } type = Other;
    qint64 next = -1;              // a listing chunk's successor
    std::vector<quint32> children; // an index chunk's
};

// True when the entries of `chunk` (a listing or index chunk of `length` bytes) lie inside it:
// names of 1 to CHM_MAX_PATHLEN bytes, numbers that end inside the used part, child chunks that
// exist.
bool readEntries(const QByteArray &chunk, Chunk &into, quint32 chunks)
{
    const bool listing = into.type == Chunk::Listing;
    const int header = listing ? kPmglHeader : kPmgiHeader;
    const quint32 freeSpace = u32(chunk, 4);
    if (freeSpace > quint32(chunk.size() - header))
        return false;
    const qsizetype end = chunk.size() - qsizetype(freeSpace);
    qsizetype at = header;
    while (at < end) {
        quint64 nameLength = 0;
        if (!readEncint(chunk, at, end, nameLength) || nameLength == 0 ||
            nameLength > CHM_MAX_PATHLEN || nameLength >= quint64(end - at))
            return false;
        at += qsizetype(nameLength);
        quint64 value = 0;
        for (int field = 0; field < (listing ? 3 : 1); ++field) {
            if (!readEncint(chunk, at, end, value))
                return false;
        }
        if (!listing) {
            if (value >= chunks)
                return false;
            into.children.push_back(quint32(value));
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
        auto &[page, child] = stack.back();
        const Chunk &chunk = chunks[page];
        if (chunk.type == Chunk::Other)
            return false;
        if (chunk.type == Chunk::Listing || child == chunk.children.size()) {
            state[page] = Closed;
            stack.pop_back();
            continue;
        }
        const quint32 next = chunk.children[child++];
        if (state[next] == Open)
            return false;
        if (state[next] == Unseen) {
            state[next] = Open;
            stack.emplace_back(next, 0);
        }
    }
    return true;
}

} // namespace

bool chmDirectoryIsSound(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray itsf = file.read(kItsfLength);
    if (itsf.size() < 0x58 || !itsf.startsWith("ITSF"))
        return false;
    const quint32 version = u32(itsf, 4);
    if ((version != 2 && version != 3) || (version == 3 && itsf.size() < kItsfLength))
        return false;
    const quint64 dirOffset = u64(itsf, 0x48);
    const quint64 dirLength = u64(itsf, 0x50);
    const quint64 dataOffset = version == 3 ? u64(itsf, 0x58) : dirOffset + dirLength;
    if (dirOffset > quint64(size) || dirLength > quint64(size) - dirOffset ||
        dirLength < kItspLength || dataOffset > quint64(size))
        return false;

    if (!file.seek(qint64(dirOffset)))
        return false;
    const QByteArray itsp = file.read(kItspLength);
    if (itsp.size() < qsizetype(kItspLength) || !itsp.startsWith("ITSP"))
        return false;
    const quint32 headerLength = u32(itsp, 8);
    const quint32 chunkLength = u32(itsp, 0x10);
    const qint32 indexRoot = qint32(u32(itsp, 0x1C));
    const qint32 indexHead = qint32(u32(itsp, 0x20));
    const quint32 count = u32(itsp, 0x2C);
    if (headerLength != kItspLength || chunkLength < 0x20 || chunkLength > ChmArchive::kMaxChunk ||
        count == 0 || count > kMaxChunks ||
        quint64(count) * chunkLength > dirLength - headerLength || indexHead < 0 ||
        quint32(indexHead) >= count || (indexRoot >= 0 && quint32(indexRoot) >= count))
        return false;

    std::vector<Chunk> chunks(count);
    for (quint32 i = 0; i < count; ++i) {
        const QByteArray chunk = file.read(chunkLength);
        if (chunk.size() != qsizetype(chunkLength))
            return false;
        Chunk &info = chunks[i];
        if (chunk.startsWith("PMGL")) {
            info.type = Chunk::Listing;
            const qint32 next = qint32(u32(chunk, 0x10));
            if (next < -1 || (next >= 0 && quint32(next) >= count))
                return false;
            info.next = next;
        } else if (chunk.startsWith("PMGI")) {
            info.type = Chunk::Index;
        } else {
            continue; // never read: chmlib stops at a chunk of another type
        }
        if (!readEntries(chunk, info, count))
            return false;
    }

    // The listing chain that chm_enumerate follows, from its head to its end.
    std::vector<bool> listed(count, false);
    for (qint64 page = indexHead; page != -1; page = chunks[page].next) {
        if (listed[page] || chunks[page].type != Chunk::Listing)
            return false;
        listed[page] = true;
    }
    // The index that chm_resolve_object goes down, from its root (the head when there is none).
    return indexTreeIsSound(chunks, indexRoot >= 0 ? quint32(indexRoot) : quint32(indexHead));
}

ChmArchive::~ChmArchive()
{
    if (m_file)
        chm_close(m_file);
}

bool ChmArchive::open(const QString &path)
{
    if (m_file || !chmDirectoryIsSound(path))
        return false;
    m_size = QFile(path).size();
    m_file = chm_open(QFile::encodeName(path).constData());
    if (m_file && !compressionIsSound()) {
        chm_close(m_file);
        m_file = nullptr;
    }
    return m_file != nullptr;
}

namespace {

const char kControlData[] = "::DataSpace/Storage/MSCompressed/ControlData";
const char kResetTable[] = "::DataSpace/Storage/MSCompressed/Transform/"
                           "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
const char kContent[] = "::DataSpace/Storage/MSCompressed/Content";

// An uncompressed object of the archive's own (never larger than `maxBytes`).
std::optional<QByteArray> readSmall(chmFile *file, const char *path, qint64 maxBytes)
{
    chmUnitInfo unit;
    if (chm_resolve_object(file, path, &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (unit.space != CHM_UNCOMPRESSED || unit.length > quint64(maxBytes))
        return QByteArray(); // present, but not as chmlib expects it
    QByteArray bytes(qsizetype(unit.length), Qt::Uninitialized);
    const LONGINT64 got = chm_retrieve_object(
        file, &unit, reinterpret_cast<unsigned char *>(bytes.data()), 0, LONGINT64(unit.length));
    if (got != LONGINT64(unit.length))
        return QByteArray();
    return bytes;
}

} // namespace

bool ChmArchive::compressionIsSound()
{
    // chmlib reads compressed objects only when all three are there; a help file without them
    // holds every object uncompressed.
    const std::optional<QByteArray> control = readSmall(m_file, kControlData, 4096);
    const std::optional<QByteArray> reset = readSmall(m_file, kResetTable, qint64(1) << 24);
    chmUnitInfo content;
    if (!control || !reset || chm_resolve_object(m_file, kContent, &content) != CHM_RESOLVE_SUCCESS)
        return true;

    // The LZX control data: window and reset interval as chmlib uses them, a whole number of
    // blocks between resets (chmlib divides by it).
    if (control->size() < 0x18 || control->mid(4, 4) != "LZXC")
        return false;
    const quint32 version = u32(*control, 8);
    quint64 resetInterval = u32(*control, 0xC);
    quint64 window = u32(*control, 0x10);
    const quint64 windowsPerReset = u32(*control, 0x14);
    if (version == 2) {
        resetInterval *= 0x8000;
        window *= 0x8000;
    }
    if (window < (1u << 15) || window > (1u << 21) || (window & (window - 1)) != 0 ||
        resetInterval == 0 || resetInterval % (window / 2) != 0 || windowsPerReset == 0 ||
        resetInterval / (window / 2) * windowsPerReset > 0x7FFFFFFF)
        return false;

    // The reset table: the block size chmlib allocates its buffers with, and a table of block
    // offsets that lies inside it.
    if (reset->size() < 0x28)
        return false;
    const quint64 blockCount = u32(*reset, 4);
    const quint64 tableOffset = u32(*reset, 0xC);
    const quint64 blockLength = u64(*reset, 0x20);
    m_sectionLength = u64(*reset, 0x10);
    // A section cut short is no reason to refuse the file: its pages are read as far as they go.
    return blockLength > 0 && blockLength <= kMaxBlock &&
           tableOffset + blockCount * 8 <= quint64(reset->size());
}

std::vector<ChmArchive::Object> ChmArchive::objects(qsizetype maxObjects) const
{
    struct Listing
    {
        std::vector<Object> objects;
        qsizetype max;
    } listing{{}, maxObjects};
    if (!m_file || maxObjects <= 0)
        return {};
    chm_enumerate(
        m_file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
        [](chmFile *, chmUnitInfo *unit, void *context) {
            auto &into = *static_cast<Listing *>(context);
            unit->path[CHM_MAX_PATHLEN] = '\0';
            into.objects.push_back({QByteArray(unit->path), unit->length});
            return qsizetype(into.objects.size()) < into.max ? CHM_ENUMERATOR_CONTINUE
                                                             : CHM_ENUMERATOR_SUCCESS;
        },
        &listing);
    return std::move(listing.objects);
}

std::optional<QByteArray> ChmArchive::read(const QByteArray &path, qint64 maxBytes) const
{
    chmUnitInfo unit;
    if (!m_file || chm_resolve_object(m_file, path.constData(), &unit) != CHM_RESOLVE_SUCCESS ||
        unit.length > quint64(maxBytes))
        return std::nullopt;
    // An uncompressed object lies in the file, a compressed one in the section as the reset table
    // gives its length: one that reaches past them is damaged, and no buffer is made for it.
    const quint64 room = unit.space == CHM_UNCOMPRESSED ? quint64(m_size) : m_sectionLength;
    if (unit.start > room || unit.length > room - unit.start)
        return std::nullopt;
    QByteArray bytes(qsizetype(unit.length), Qt::Uninitialized);
    if (unit.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(
        m_file, &unit, reinterpret_cast<unsigned char *>(bytes.data()), 0, LONGINT64(unit.length));
    if (got != LONGINT64(unit.length))
        return std::nullopt;
    return bytes;
}

bool ChmArchive::contains(const QByteArray &path) const
{
    chmUnitInfo unit;
    return m_file && chm_resolve_object(m_file, path.constData(), &unit) == CHM_RESOLVE_SUCCESS;
}

} // namespace documents
