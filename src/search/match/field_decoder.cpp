#include "search/match/field_decoder.h"

namespace search {

using platform::TextEncoding;

void FieldDecoder::setEncoding(const platform::Encoding &encoding)
{
    m_encoding = encoding.kind;
    if (encoding.kind != TextEncoding::Gb18030 && encoding.kind != TextEncoding::Utf8)
        m_other = platform::makeDecoder(encoding);
}

void FieldDecoder::append(QString &text, const char *data, qsizetype size)
{
    if (size == 0)
        return;
    const qsizetype old = text.size();
    if (!m_encoding) {
        text.resize(old + size);
        char16_t *out = reinterpret_cast<char16_t *>(text.data()) + old;
        for (qsizetype i = 0; i < size; ++i)
            out[i] = static_cast<uchar>(data[i]);
        return;
    }
    switch (*m_encoding) {
    case TextEncoding::Gb18030:
        m_gb18030.append(text, data, size);
        return;
    case TextEncoding::Utf8: {
        text.resize(old + size + 3);
        char16_t *begin = reinterpret_cast<char16_t *>(text.data());
        text.resize(m_utf8.decode(data, size, begin + old) - begin);
        return;
    }
    default:
        platform::appendDecoded(text, m_other, QByteArrayView(data, size));
        return;
    }
}

void FieldDecoder::endField(QString &text)
{
    if (!m_encoding)
        return;
    switch (*m_encoding) {
    case TextEncoding::Gb18030:
        m_gb18030.appendFinish(text);
        return;
    case TextEncoding::Utf8: {
        const qsizetype old = text.size();
        text.resize(old + 3);
        char16_t *begin = reinterpret_cast<char16_t *>(text.data());
        text.resize(m_utf8.finish(begin + old) - begin);
        return;
    }
    default:
        platform::appendFieldEnd(text, m_other);
        return;
    }
}

bool FieldDecoder::pending() const
{
    return m_encoding == TextEncoding::Gb18030 && m_gb18030.waitsOnDigit();
}

void FieldDecoder::reset()
{
    m_gb18030.reset();
    m_utf8.reset();
    m_other.resetState();
}

} // namespace search
