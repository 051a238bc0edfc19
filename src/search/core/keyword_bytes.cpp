#include "search/core/keyword_bytes.h"

#include <QStringList>

#include <vector>

namespace search {

namespace {

// For every UTF-16 code unit: the GBK bytes that decode to it (0 when none), and whether more
// than one sequence does.
class CodePageForms
{
public:
    CodePageForms() : m_form(0x10000, 0), m_count(0x10000, 0)
    {
        QStringDecoder decoder = platform::makeDecoder(platform::TextEncoding::Gbk);
        for (int b = 0; b < 0x100; ++b) {
            const char byte = char(b);
            add(platform::decodeField(decoder, QByteArrayView(&byte, 1)), quint16(b));
        }
        // All pairs in one call, each followed by a line feed, which is never a trail byte.
        QByteArray pairs;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                pairs.append(char(lead));
                pairs.append(char(trail));
                pairs.append('\n');
            }
        }
        const QStringList decoded = platform::decodeField(decoder, pairs).split(u'\n');
        qsizetype i = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail, ++i) {
                if (i >= decoded.size()) {
                    m_usable = false; // the decoder did not keep to the pair structure
                    return;
                }
                const QString &text = decoded.at(i);
                // A byte that is no trail byte: the lead alone is U+FFFD, the byte reads alone.
                if (text.size() == 2 && text.at(0) == QChar(QChar::ReplacementCharacter) &&
                    text.at(1) == single(decoder, trail))
                    continue;
                add(text, quint16(lead << 8 | trail));
            }
        }
    }

    // Appends the byte form of `c` (one byte, or a lead and a trail byte). False when `c` has
    // none or more than one.
    bool appendForm(char16_t c, QByteArray &bytes) const
    {
        if (!m_usable || c == 0xFFFD || m_count[c] != 1)
            return false;
        const quint32 form = m_form[c] & 0xFFFF;
        if (form > 0xFF)
            bytes.append(char(form >> 8));
        bytes.append(char(form & 0xFF));
        return true;
    }

private:
    static QChar single(QStringDecoder &decoder, int byte)
    {
        const char b = char(byte);
        const QString text = platform::decodeField(decoder, QByteArrayView(&b, 1));
        return text.size() == 1 ? text.at(0) : QChar();
    }

    void add(const QString &text, quint16 bytes)
    {
        if (text.size() != 1) {
            // Not one character: none of its characters can be searched by these bytes.
            for (QChar c : text)
                m_count[c.unicode()] = 2;
            return;
        }
        const char16_t c = text.at(0).unicode();
        if (m_count[c] < 2)
            ++m_count[c];
        m_form[c] = kHasForm | bytes;
    }

    static constexpr quint32 kHasForm = 0x10000;
    std::vector<quint32> m_form;
    std::vector<quint8> m_count;
    bool m_usable = true;
};

const CodePageForms &codePageForms()
{
    static const CodePageForms forms;
    return forms;
}

bool isWellFormedUtf16(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<QByteArray> keywordBytes(const QString &keyword, platform::TextEncoding encoding)
{
    if (keyword.isEmpty() || keyword.contains(QChar(QChar::ReplacementCharacter)))
        return std::nullopt;
    switch (encoding) {
    case platform::TextEncoding::Utf8:
        // UTF-8 has one form per character: Qt's decoder refuses overlong and surrogate forms.
        if (!isWellFormedUtf16(keyword))
            return std::nullopt;
        return keyword.toUtf8();
    case platform::TextEncoding::Gbk: {
        const CodePageForms &forms = codePageForms();
        QByteArray bytes;
        bytes.reserve(keyword.size() * 2);
        for (QChar c : keyword) {
            if (!forms.appendForm(c.unicode(), bytes))
                return std::nullopt;
        }
        return bytes;
    }
    case platform::TextEncoding::Utf16LE:
    case platform::TextEncoding::Utf16BE:
        break;
    }
    return std::nullopt;
}

} // namespace search
