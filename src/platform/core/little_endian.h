#pragma once

#include <QByteArrayView>

#include <cstring>

// The little-endian fields of binary formats (ZIP records, compound files and the records inside
// them, BMP headers), read one way. The caller has checked that the field lies inside `bytes`.
namespace platform {

inline quint64 littleEndian(QByteArrayView bytes, qsizetype at, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes[at + i]);
    return value;
}

inline quint16 le16(QByteArrayView bytes, qsizetype at)
{
    return quint16(littleEndian(bytes, at, 2));
}

inline quint32 le32(QByteArrayView bytes, qsizetype at)
{
    return quint32(littleEndian(bytes, at, 4));
}

inline quint64 le64(QByteArrayView bytes, qsizetype at)
{
    return littleEndian(bytes, at, 8);
}

inline double leDouble(QByteArrayView bytes, qsizetype at)
{
    const quint64 bits = le64(bytes, at);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace platform
