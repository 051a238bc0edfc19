#include "platform/widgets/name_pattern.h"

#include <QStringList>

namespace platform {

NamePattern::NamePattern(const QString &pattern) : m_pattern(pattern)
{
    QStringList alternatives;
    for (const QString &raw : pattern.split(QLatin1Char(';'))) {
        const QString part = raw.trimmed();
        if (part.isEmpty())
            continue;
        if (part == QStringLiteral("*.*") || part == QStringLiteral("*")) {
            m_matchesAll = true;
            return;
        }
        QString expression = QRegularExpression::wildcardToRegularExpression(part);
        if (!QRegularExpression(expression).isValid())
            expression = QRegularExpression::anchoredPattern(QRegularExpression::escape(part));
        alternatives.append(QStringLiteral("(?:") + expression + QStringLiteral(")"));
    }
    if (alternatives.isEmpty()) {
        m_matchesAll = true;
        return;
    }
    m_expression = QRegularExpression(alternatives.join(QLatin1Char('|')),
                                      QRegularExpression::CaseInsensitiveOption);
    m_expression.optimize();
}

bool NamePattern::matches(const QString &name) const
{
    return m_matchesAll || m_expression.match(name).hasMatch();
}

} // namespace platform
