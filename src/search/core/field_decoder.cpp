#include "search/core/field_decoder.h"

namespace search {

using platform::TextEncoding;

FieldDecoder::FieldDecoder() : m_codePage(platform::makeDecoder(TextEncoding::Gbk)) {}

void FieldDecoder::setEncoding(TextEncoding encoding)
{
    m_encoding = encoding;
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
    if (*m_encoding == TextEncoding::Utf8) {
        text.resize(old + size + 3);
        char16_t *begin = reinterpret_cast<char16_t *>(text.data());
        text.resize(m_utf8.decode(data, size, begin + old) - begin);
        return;
    }
    platform::appendDecoded(text, m_codePage, QByteArrayView(data, size));
}

void FieldDecoder::endField(QString &text)
{
    if (!m_encoding)
        return;
    if (*m_encoding == TextEncoding::Utf8) {
        const qsizetype old = text.size();
        text.resize(old + 3);
        char16_t *begin = reinterpret_cast<char16_t *>(text.data());
        text.resize(m_utf8.finish(begin + old) - begin);
        return;
    }
    platform::appendFieldEnd(text, m_codePage);
}

void FieldDecoder::reset()
{
    m_codePage.resetState();
    m_utf8.reset();
}

} // namespace search
