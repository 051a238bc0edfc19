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
//
// A part that starts with "**/" (or "**\") reaches into subfolders: a pattern holding one lists
// the folder's tree (isRecursive()). The files of the folder itself are matched against every
// part (without its "**/"); files in subfolders only against the "**/" parts.
class NamePattern
{
public:
    explicit NamePattern(const QString &pattern = QStringLiteral("*.*"));

    // For a file of the listed folder itself.
    bool matches(const QString &name) const { return m_top.matches(name); }
    // For a file in a subfolder of a recursive listing.
    bool matchesBelow(const QString &name) const { return m_below.matches(name); }
    bool isRecursive() const { return m_recursive; }
    const QString &pattern() const { return m_pattern; }

private:
    // Wildcard alternatives matched as one expression.
    struct Alternatives
    {
        bool all = false;
        bool none = true;
        QRegularExpression expression;
        void build(const QStringList &parts);
        bool matches(const QString &name) const;
    };

    QString m_pattern;
    bool m_recursive = false;
    Alternatives m_top;
    Alternatives m_below;
};

} // namespace platform
