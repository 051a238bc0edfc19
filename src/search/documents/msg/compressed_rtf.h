#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace documents::msg {

// The RTF body of an Outlook message, PidTagRtfCompressed ([MS-OXRTFCP]): a 16-byte header (the
// compressed size, the RTF's size, the kind, a CRC) and either the RTF as it is ("MELA") or its
// LZ77 compression ("LZFu") against a 4096-byte dictionary that starts with a fixed RTF prefix.
//
// libytnef's DecompressRTF, the one Debian library that decompresses it, checks no CRC, reads
// past the end of a cut stream and copies a stored body by the size its header claims; this one
// checks the CRC and every bound. The RTF, or nothing when the stream is damaged or its RTF would
// be larger than `maxBytes`.
std::optional<QByteArray> decompressRtf(QByteArrayView stream, qint64 maxBytes);

} // namespace documents::msg
