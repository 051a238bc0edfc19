#pragma once

#include <QRegularExpression>
#include <QString>

namespace platform {

// A file list pattern: one or more wildcard patterns separated by ";" ("*.asp;*.js").
//
// A name is listed when it matches any of them, without regard to case. "*.*" matches every
// name, also one without a dot, as the file lists of the desktop the program comes from do.
// Blanks around each part are ignored; a pattern without any part matches every name. A part
// that is not a valid wildcard (an unclosed "[") is matched literally.
class NamePattern
{
public:
    explicit NamePattern(const QString &pattern = QStringLiteral("*.*"));

    bool matches(const QString &name) const;
    const QString &pattern() const { return m_pattern; }

private:
    QString m_pattern;
    bool m_matchesAll = false;
    QRegularExpression m_expression;
};

} // namespace platform
