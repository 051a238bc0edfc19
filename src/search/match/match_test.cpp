#include "search/match/match_test.h"

#include <algorithm>

namespace search {

qsizetype FirstPosition(const QString &Str, const QString &StrFile)
{
    if (Str.isEmpty())
        return 1;
    return StrFile.indexOf(Str) + 1;
}

bool FindA(const QString &Str, const QString &StrFile)
{
    return FirstPosition(Str, StrFile) > 0;
}

QString excerptAt(const QString &text, qsizetype p)
{
    const qsizetype start = std::max<qsizetype>(p - kExcerptLead, 1);
    return text.mid(start - 1, kExcerptLength);
}

} // namespace search
