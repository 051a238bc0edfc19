#include "search/match/keyword_bytes.h"

#include "platform/core/gb18030.h"

#include <QStringList>

#include <vector>

namespace search {

namespace {

using platform::Gb18030Tables;

// For every UTF-16 code unit: the bytes (up to four) that decode to it in one encoding, and
// whether more than one sequence does.
class FormTable
{
public:
    FormTable() : m_form(0x10000, 0), m_length(0x10000, 0), m_count(0x10000, 0) {}

    void add(const QString &text, quint32 bytes, int length)
    {
        if (text.size() != 1) {
            // Not one character: none of its characters can be searched by these bytes.
            for (QChar c : text)
                m_count[c.unicode()] = 2;
            return;
        }
        add(text.at(0).unicode(), bytes, length);
    }

    void add(char16_t c, quint32 bytes, int length)
    {
        if (m_count[c] < 2)
            ++m_count[c];
        m_form[c] = bytes;
        m_length[c] = quint8(length);
    }

    // Appends the byte form of `c`. False when `c` has none or more than one.
    bool appendForm(char16_t c, QByteArray &bytes) const
    {
        if (!m_usable || c == 0xFFFD || m_count[c] != 1)
            return false;
        for (int i = m_length[c] - 1; i >= 0; --i)
            bytes.append(char(m_form[c] >> (8 * i)));
        return true;
    }

    // No sequence decodes to `c` alone (nor as part of more than one character).
    bool never(char16_t c) const { return m_usable && m_count[c] == 0; }

    bool m_usable = true;

private:
    std::vector<quint32> m_form;
    std::vector<quint8> m_length;
    std::vector<quint8> m_count;
};

// GB18030 as platform::Gb18030Decoder reads it, from its own tables.
FormTable makeGb18030Forms()
{
    FormTable forms;
    const Gb18030Tables &tables = Gb18030Tables::instance();
    forms.m_usable = tables.usable();
    for (int b = 0; b < 0x100; ++b) {
        if (b < 0x81 || b == 0xFF)
            forms.add(tables.single(uchar(b)), quint32(b), 1);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int next = 0; next < 0x100; ++next) {
            const Gb18030Tables::Pair pair = tables.pair(uchar(lead), uchar(next));
            if (pair.length == 2 && !(next >= 0x30 && next <= 0x39))
                forms.add(pair.c, quint32(lead << 8 | next), 2);
        }
    }
    for (quint32 index = 0; index < Gb18030Tables::kBmpFourCount; ++index) {
        quint32 rest = index;
        uchar p[4];
        p[0] = uchar(0x81 + rest / 12600);
        rest %= 12600;
        p[1] = uchar(0x30 + rest / 1260);
        rest %= 1260;
        p[2] = uchar(0x81 + rest / 10);
        p[3] = uchar(0x30 + rest % 10);
        const char32_t c = tables.four(p);
        if (c != 0xFFFD)
            forms.add(char16_t(c), quint32(p[0]) << 24 | quint32(p[1]) << 16 | p[2] << 8 | p[3], 4);
    }
    return forms;
}

// A double-byte code page read through its converter: every single byte and every lead byte
// with every next byte, each followed by a line feed (never part of a sequence, so the converter
// starts afresh after it), all in one call; the line feed as the next byte in calls of its own.
FormTable makeDoubleByteForms(const char *name)
{
    FormTable forms;
    QStringDecoder decoder(name);
    if (!decoder.isValid()) {
        forms.m_usable = false;
        return forms;
    }
    QByteArray all;
    for (int b = 0; b < 0x100; ++b) {
        if (b != '\n')
            all.append(char(b)).append('\n');
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int next = 0; next < 0x100; ++next) {
            if (next != '\n')
                all.append(char(lead)).append(char(next)).append('\n');
        }
    }
    const QStringList parts = platform::decodeField(decoder, all).split(u'\n');
    if (parts.size() != 255 + 126 * 255 + 1) {
        forms.m_usable = false;
        return forms;
    }
    QList<QString> alone(0x100);
    alone['\n'] = QStringLiteral("\n");
    qsizetype at = 0;
    for (int b = 0; b < 0x100; ++b) {
        if (b != '\n')
            alone[b] = parts.at(at++);
        forms.add(alone[b], quint32(b), 1);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int next = 0; next < 0x100; ++next) {
            const char feed[2] = {char(lead), '\n'};
            const QString text = next == '\n'
                                     ? platform::decodeField(decoder, QByteArrayView(feed, 2))
                                     : parts.at(at++);
            // The lead alone, and the next byte read on its own: no pair.
            if (text == alone[lead] + alone[next])
                continue;
            forms.add(text, quint32(lead << 8 | next), 2);
        }
    }
    return forms;
}

const FormTable &gb18030Forms()
{
    static const FormTable forms = makeGb18030Forms();
    return forms;
}

const FormTable &big5Forms()
{
    static const FormTable forms = makeDoubleByteForms("Big5");
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

std::optional<QByteArray> tableBytes(const QString &keyword, const FormTable &forms, bool gb18030)
{
    if (!isWellFormedUtf16(keyword))
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(keyword.size() * 2);
    for (qsizetype i = 0; i < keyword.size(); ++i) {
        const QChar c = keyword.at(i);
        if (c.isHighSurrogate()) {
            // Only GB18030's four-byte sequences make characters beyond the Basic Multilingual
            // Plane, each from one sequence by its linear rule.
            if (!gb18030)
                return std::nullopt;
            const char32_t uc = QChar::surrogateToUcs4(c, keyword.at(++i));
            quint32 index = Gb18030Tables::kSupplementaryFirst + (uc - 0x10000);
            char four[4];
            four[3] = char(0x30 + index % 10);
            index /= 10;
            four[2] = char(0x81 + index % 126);
            index /= 126;
            four[1] = char(0x30 + index % 10);
            four[0] = char(0x81 + index / 10);
            bytes.append(four, 4);
            continue;
        }
        if (!forms.appendForm(c.unicode(), bytes))
            return std::nullopt;
    }
    return bytes;
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
    case platform::TextEncoding::Gb18030:
        if (!gb18030Forms().m_usable)
            return std::nullopt;
        return tableBytes(keyword, gb18030Forms(), true);
    case platform::TextEncoding::Big5:
        if (!big5Forms().m_usable)
            return std::nullopt;
        return tableBytes(keyword, big5Forms(), false);
    case platform::TextEncoding::Utf16LE:
    case platform::TextEncoding::Utf16BE:
    case platform::TextEncoding::Declared:
        break;
    }
    return std::nullopt;
}

void buildCodeTables()
{
    gb18030Forms();
    big5Forms();
}

bool neverDecodedTo(char16_t c, platform::TextEncoding encoding)
{
    if (c == 0xFFFD || QChar::isSurrogate(c))
        return false;
    switch (encoding) {
    case platform::TextEncoding::Gb18030:
        return gb18030Forms().never(c);
    case platform::TextEncoding::Big5:
        return big5Forms().never(c);
    case platform::TextEncoding::Utf8:
    case platform::TextEncoding::Utf16LE:
    case platform::TextEncoding::Utf16BE:
    case platform::TextEncoding::Declared:
        break;
    }
    return false;
}

} // namespace search
