#include "search/match/keyword.h"

#include <algorithm>

namespace search {

std::vector<QByteArray> Keyword::utf8CharactersOf(QStringView keyword)
{
    std::vector<QByteArray> forms;
    for (qsizetype i = 0; i < keyword.size() && forms.size() < Keyword::kMaxCharacters; ++i) {
        const QChar c = keyword[i];
        qsizetype length = 1;
        if (c.isHighSurrogate() && i + 1 < keyword.size() && keyword[i + 1].isLowSurrogate())
            length = 2;
        else if (c.isSurrogate())
            continue; // a lone surrogate has no UTF-8 form of its own
        const QStringView character = keyword.sliced(i, length);
        i += length - 1;
        // U+FFFD is what a decoder puts for bytes it cannot decode: not a byte form.
        if (c.unicode() < 0x80 || c == QChar::ReplacementCharacter)
            continue;
        const QByteArray utf8 = character.toUtf8();
        if (std::find(forms.begin(), forms.end(), utf8) == forms.end())
            forms.push_back(utf8);
    }
    return forms;
}

Keyword::Keyword(const QString &text)
    : m_bytes(text), m_utf8Characters(utf8CharactersOf(text)),
      m_summaryProbe(TextSummary::probe(text))
{}

} // namespace search
