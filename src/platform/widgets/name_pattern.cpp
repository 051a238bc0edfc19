#include "platform/widgets/name_pattern.h"

#include <QStringList>

namespace platform {

NamePattern::NamePattern(const QString &pattern) : m_pattern(pattern)
{
    QStringList top;
    QStringList below;
    for (const QString &raw : pattern.split(QLatin1Char(';'))) {
        QString part = raw.trimmed();
        if (part.isEmpty())
            continue;
        if (part.startsWith(QStringLiteral("**/")) || part.startsWith(QStringLiteral("**\\"))) {
            part = part.mid(3);
            m_recursive = true;
            below.append(part);
        }
        top.append(part);
    }
    m_top.build(top);
    // A pattern without any part matches every name.
    if (top.isEmpty())
        m_top.all = true;
    m_below.build(below);
}

void NamePattern::Alternatives::build(const QStringList &parts)
{
    QStringList alternatives;
    for (const QString &part : parts) {
        none = false;
        if (part == QStringLiteral("*.*") || part == QStringLiteral("*") || part.isEmpty()) {
            all = true;
            return;
        }
        QString expression = QRegularExpression::wildcardToRegularExpression(part);
        if (!QRegularExpression(expression).isValid())
            expression = QRegularExpression::anchoredPattern(QRegularExpression::escape(part));
        alternatives.append(QStringLiteral("(?:") + expression + QStringLiteral(")"));
    }
    if (alternatives.isEmpty())
        return;
    expression = QRegularExpression(alternatives.join(QLatin1Char('|')),
                                    QRegularExpression::CaseInsensitiveOption);
    expression.optimize();
}

bool NamePattern::Alternatives::matches(const QString &name) const
{
    return all || (!none && expression.match(name).hasMatch());
}

} // namespace platform
