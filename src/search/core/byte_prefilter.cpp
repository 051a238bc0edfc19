#include "search/core/byte_prefilter.h"

#include "search/core/keyword_bytes.h"

#include <cstring>

namespace search {

using platform::TextEncoding;

namespace {

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

BytePrefilter::BytePrefilter(const QString &keyword)
    : m_codePage(keywordBytes(keyword, TextEncoding::Gbk)),
      m_utf8(keywordBytes(keyword, TextEncoding::Utf8))
{
    // ASCII is its own text in both encodings.
    if (!keyword.isEmpty() && isAscii(keyword))
        m_ascii = keyword.toLatin1();
}

bool BytePrefilter::usable(std::optional<TextEncoding> encoding) const
{
    if (encoding)
        return needle(encoding).has_value();
    return m_ascii || m_codePage || m_utf8;
}

std::optional<QByteArray> BytePrefilter::needle(std::optional<TextEncoding> encoding) const
{
    if (!encoding)
        return m_ascii;
    switch (*encoding) {
    case TextEncoding::Gbk:
        return m_codePage;
    case TextEncoding::Utf8:
        return m_utf8;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        break;
    }
    return std::nullopt;
}

const char *BytePrefilter::find(const char *begin, const char *end, const QByteArray &needle)
{
    if (end - begin < needle.size())
        return nullptr;
    return static_cast<const char *>(
        memmem(begin, size_t(end - begin), needle.constData(), size_t(needle.size())));
}

} // namespace search
