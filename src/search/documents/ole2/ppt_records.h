#pragma once

#include "search/documents/ole2/compound_file.h"

#include <QString>

namespace documents::ppt {

// Record types of the PowerPoint Document stream ([MS-PPT] 2.13.24) and of the OfficeArt drawing
// records inside it.
enum : quint16 {
    kDocument = 0x03E8,
    kSlide = 0x03EE,
    kSlideAtom = 0x03EF,
    kNotes = 0x03F0,
    kSlidePersistAtom = 0x03F3,
    kMainMaster = 0x03F8,
    kExObjList = 0x0409,
    kExObjRefAtom = 0x0BC1,
    kPlaceholderAtom = 0x0BC3,
    kOutlineTextRefAtom = 0x0F9E,
    kTextHeaderAtom = 0x0F9F,
    kTextCharsAtom = 0x0FA0,
    kTextBytesAtom = 0x0FA8,
    kCString = 0x0FBA,
    kExOleObjAtom = 0x0FC3,
    kHeadersFooters = 0x0FD9,
    kHeadersFootersAtom = 0x0FDA,
    kSlideListWithText = 0x0FF0,
    kUserEditAtom = 0x0FF5,
    kCurrentUserAtom = 0x0FF6,
    kExOleObjStg = 0x1011,
    kPersistDirectoryAtom = 0x1772,
    kCryptSession10 = 0x2F14,
    kShapeContainer = 0xF004,
    kClientData = 0xF011,
};

// HeadersFootersAtom flags ([MS-PPT] 2.4.15.2).
enum : quint16 {
    kHasDate = 0x0001,
    kHasUserDate = 0x0004,
    kHasHeader = 0x0010,
    kHasFooter = 0x0020,
};
constexpr quint16 kFollowsMasterObjects = 0x0001; // SlideAtom's slideFlags

// The date, header and footer a slide or notes page shows (a HeadersFootersContainer).
struct HeadersFooters
{
    bool present = false;
    quint16 flags = 0;
    QString date;   // the user's fixed date
    QString header; // notes pages and handouts only
    QString footer;
};

// A record header ([MS-PPT] 2.3.1): version and instance, type, size of the data.
struct Record
{
    quint16 version = 0;
    quint16 instance = 0;
    quint16 type = 0;
    qint64 data = 0; // offset of the data in the stream
    qint64 size = 0;
    bool container() const { return version == 0xF; }
    qint64 end() const { return data + size; }
};

// The record at `at`, when it ends by `limit`.
inline bool recordAt(QByteArrayView stream, qint64 at, qint64 limit, Record &record)
{
    if (at < 0 || at + 8 > limit || !fits(stream, at, 8))
        return false;
    const quint16 versionInstance = le16(stream, at);
    record.version = versionInstance & 0x0F;
    record.instance = versionInstance >> 4;
    record.type = le16(stream, at + 2);
    record.data = at + 8;
    record.size = le32(stream, at + 4);
    return record.end() <= limit && fits(stream, record.data, record.size);
}

inline bool isText(const Record &record)
{
    return record.type == kTextCharsAtom || record.type == kTextBytesAtom;
}

// The text of a TextCharsAtom (UTF-16LE) or TextBytesAtom (the low bytes of UTF-16 characters),
// a line per paragraph.
inline QString textOf(QByteArrayView stream, const Record &record)
{
    QString text;
    const bool wide = record.type == kTextCharsAtom;
    const qint64 count = wide ? record.size / 2 : record.size;
    text.reserve(count + 1);
    for (qint64 i = 0; i < count; ++i) {
        const char16_t c = wide ? le16(stream, record.data + 2 * i) : u8At(stream, record.data + i);
        if (c == 0x0D || c == 0x0B) // paragraph end, line break
            text.append(u'\n');
        else if (c >= 0x20 || c == 0x09)
            text.append(QChar(c));
    }
    text.append(u'\n');
    return text;
}

// The UTF-16LE characters of a CString record, as they stand.
inline QString stringOf(QByteArrayView stream, const Record &record)
{
    QString text;
    for (qint64 i = 0; i + 1 < record.size; i += 2)
        text.append(QChar(le16(stream, record.data + i)));
    return text;
}

} // namespace documents::ppt
