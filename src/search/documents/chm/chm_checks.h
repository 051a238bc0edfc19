#pragma once

#include <QtGlobal>

#include <optional>

class QIODevice;

namespace documents {

// What the checks of a help file found out, for reading it.
struct ChmLayout
{
    qint64 size = 0;           // of the file
    quint64 sectionLength = 0; // the compressed section's length uncompressed; 0: none
};

// The checks made on a help file's bytes before chm_open, for what chmlib trusts without looking
// (chm_lib.c of chmlib 0.40):
// - the ITSF and ITSP headers: the directory inside the file, chunks of at most 64 KiB that it
//   holds whole (chmlib allocates a chunk's size as the header gives it);
// - every directory chunk: its free space inside it, each entry's numbers ending and its name
//   (1 to CHM_MAX_PATHLEN bytes, no NUL byte) lying inside the used part, index entries naming
//   chunks that exist (chmlib reads entries up to the free space, never past the chunk's end,
//   and takes an empty name's last byte from before it);
// - the listing chain from its head ending without a loop (chm_enumerate follows it), and the
//   index tree from its root reaching listing chunks without coming back (chm_resolve_object);
// - the LZX control data, which chm_open divides by: a window of 2^15 to 2^21 bytes, resets a
//   whole number of blocks apart, at most kMaxResetBlocks (the blocks decompressed to reach one);
// - the reset table: blocks of 32 KiB multiples up to 1 MiB (chmlib allocates them), every
//   block's compressed length between 0 and the block size plus 6 KiB (chmlib reads it into a
//   buffer of that size), the section no longer than its blocks.
// Nothing when a check fails.
std::optional<ChmLayout> checkHelpFile(QIODevice &file);

inline constexpr quint32 kMaxChunkBytes = 64 * 1024;
inline constexpr quint64 kMaxBlockBytes = 1024 * 1024;
inline constexpr quint32 kMaxResetBlocks = 1024;

} // namespace documents
