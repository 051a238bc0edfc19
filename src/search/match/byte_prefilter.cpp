#include "search/match/byte_prefilter.h"

#include "platform/core/byte_find.h"
#include "search/match/keyword_bytes.h"

#include <QStringList>

#include <limits>

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

// The keyword's characters, a surrogate pair kept together.
QStringList characters(const QString &text)
{
    QStringList result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        result.append(text.mid(i, length));
        i += length - 1;
    }
    return result;
}

} // namespace

BytePrefilter::BytePrefilter(const QString &keyword) : m_keyword(keyword)
{
    // ASCII is its own text in all of them.
    if (!keyword.isEmpty() && isAscii(keyword))
        m_ascii = keyword.toLatin1();
}

const std::optional<QByteArray> &BytePrefilter::gb18030() const
{
    // The first time a file needs them: a run of documents alone never does.
    std::call_once(m_gb18030Made,
                   [this] { m_gb18030 = keywordBytes(m_keyword, TextEncoding::Gb18030); });
    return m_gb18030;
}

const std::optional<QByteArray> &BytePrefilter::utf8() const
{
    std::call_once(m_utf8Made, [this] { m_utf8 = keywordBytes(m_keyword, TextEncoding::Utf8); });
    return m_utf8;
}

bool BytePrefilter::usable(std::optional<TextEncoding> encoding) const
{
    if (encoding)
        return needle(encoding).has_value();
    // A keyword with a Big5 form has a UTF-8 one.
    return m_ascii || gb18030() || utf8();
}

std::optional<QByteArray> BytePrefilter::needle(std::optional<TextEncoding> encoding) const
{
    if (!encoding)
        return m_ascii;
    switch (*encoding) {
    case TextEncoding::Gb18030:
        return gb18030();
    case TextEncoding::Utf8:
        return utf8();
    case TextEncoding::Big5:
        // Only for a Big5 file: its table is made the first time one is searched.
        std::call_once(m_big5Made,
                       [this] { m_big5 = keywordBytes(m_keyword, TextEncoding::Big5); });
        return m_big5;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
    case TextEncoding::Declared:
        break;
    }
    return std::nullopt;
}

const std::optional<std::vector<QByteArray>> &
BytePrefilter::characterForms(std::optional<TextEncoding> encoding) const
{
    size_t slot = 0;
    if (encoding) {
        switch (*encoding) {
        case TextEncoding::Gb18030:
            slot = 1;
            break;
        case TextEncoding::Utf8:
            slot = 2;
            break;
        case TextEncoding::Big5:
            slot = 3;
            break;
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE:
        case TextEncoding::Declared:
            static const std::optional<std::vector<QByteArray>> none;
            return none;
        }
    }
    std::call_once(m_formsMade[slot], [&] {
        std::vector<QByteArray> made;
        for (const QString &character : characters(m_keyword)) {
            const std::optional<QByteArray> form =
                encoding ? keywordBytes(character, *encoding) : character.toLatin1();
            if (!form)
                return; // not expected where the whole keyword has a form
            made.push_back(*form);
        }
        m_forms[slot].emplace(std::move(made));
    });
    return m_forms[slot];
}

std::optional<QByteArray> BytePrefilter::rarestCharacter(std::optional<TextEncoding> encoding,
                                                         QByteArrayView sample) const
{
    if (!needle(encoding))
        return std::nullopt;
    const std::optional<std::vector<QByteArray>> &forms = characterForms(encoding);
    if (!forms)
        return std::nullopt;
    // Counting stops at a few occurrences: the choice only sets how often the scan stops to
    // look closer, and a character that common in the sample is no good choice anyway.
    constexpr qsizetype kEnough = 8;
    const QByteArray *rarest = nullptr;
    qsizetype fewest = kEnough + 1;
    for (const QByteArray &form : *forms) {
        qsizetype count = 0;
        const char *p = sample.data();
        const char *end = p + sample.size();
        while (count < fewest && count < kEnough) {
            const char *hit = platform::findBytes(p, end, form);
            if (!hit)
                break;
            ++count;
            p = hit + 1;
        }
        if (count < fewest) {
            fewest = count;
            rarest = &form;
            if (count == 0)
                break;
        }
    }
    if (!rarest)
        return std::nullopt; // an empty keyword
    return *rarest;
}

const BytePrefilter::Exclusion &BytePrefilter::exclusion(TextEncoding encoding) const
{
    const size_t slot = encoding == TextEncoding::Gb18030 ? 0
                        : encoding == TextEncoding::Utf8  ? 1
                                                          : 2;
    std::call_once(m_exclusionsMade[slot], [&] {
        Exclusion &made = m_exclusions[slot];
        // Only characters every text in these encodings spells with bytes of its own: not ASCII
        // (a trail byte may be one), not U+FFFD, not half a surrogate pair.
        for (const QChar c : m_keyword) {
            const char16_t unit = c.unicode();
            if (unit < 0x80 || unit == 0xFFFD || c.isSurrogate())
                continue;
            if (neverDecodedTo(unit, encoding))
                made.never = true;
            else if (const std::optional<QByteArray> form = keywordBytes(QString(c), encoding))
                made.forms.push_back(*form);
        }
    });
    return m_exclusions[slot];
}

bool BytePrefilter::absentFromAll(QByteArrayView bytes) const
{
    const char *begin = bytes.data();
    const char *end = begin + bytes.size();
    // Big5 last: its table is made only when a file gets that far.
    for (const TextEncoding encoding :
         {TextEncoding::Gb18030, TextEncoding::Utf8, TextEncoding::Big5}) {
        const Exclusion &ruling = exclusion(encoding);
        if (ruling.never)
            continue;
        bool ruledOut = false;
        for (const QByteArray &form : ruling.forms) {
            if (!platform::findBytes(begin, end, form)) {
                ruledOut = true;
                break;
            }
        }
        if (!ruledOut)
            return false;
    }
    return true;
}

} // namespace search
