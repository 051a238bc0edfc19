#pragma once

#include <QByteArrayView>

#include <utility>
#include <vector>

namespace documents {

// A reader of the small package parts ([Content_Types].xml, relationships) as office suites write
// them, much faster than the XML reader: ASCII, an optional declaration, elements without
// prefixes, attributes without references or line breaks. Its callers read a part with it only
// where every step succeeds, and leave any part written otherwise to the XML reader.
class PlainXml
{
public:
    explicit PlainXml(QByteArrayView xml) : m_xml(xml) {}

    // The declaration, if any, and the white space after it.
    bool prolog()
    {
        if (m_xml.startsWith("<?xml") && !declaration())
            return false;
        space();
        return true;
    }
    bool atEnd() const { return m_at == m_xml.size(); }

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isNameChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    }

    bool take(QByteArrayView text)
    {
        if (!m_xml.sliced(m_at).startsWith(text))
            return false;
        m_at += text.size();
        return true;
    }
    // At least one white space character.
    bool space()
    {
        const qsizetype from = m_at;
        while (m_at < m_xml.size() && isSpace(m_xml[m_at]))
            ++m_at;
        return m_at > from;
    }

    // The attributes of a start tag (or of the declaration) up to its '>', "/>" or "?>":
    // name="value" or name='value', each after white space, no name twice.
    bool attributes()
    {
        m_attributes.clear();
        for (;;) {
            const bool spaced = space();
            if (m_at >= m_xml.size() || m_xml[m_at] == '>' || m_xml[m_at] == '/' ||
                m_xml[m_at] == '?')
                return true;
            const qsizetype from = m_at;
            while (m_at < m_xml.size() && isNameChar(m_xml[m_at]))
                ++m_at;
            const QByteArrayView name = m_xml.sliced(from, m_at - from);
            if (!spaced || name.isEmpty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-' ||
                name[0] == '.' || !take("=") || m_at >= m_xml.size())
                return false;
            const char quote = m_xml[m_at];
            if (quote != '"' && quote != '\'')
                return false;
            const qsizetype start = ++m_at;
            while (m_at < m_xml.size() && m_xml[m_at] != quote) {
                const char c = m_xml[m_at];
                if (c == '<' || c == '&' || c == '\t' || c == '\r' || c == '\n' || uchar(c) >= 0x80)
                    return false;
                ++m_at;
            }
            if (m_at >= m_xml.size())
                return false;
            for (const auto &[n, v] : m_attributes) {
                if (n == name)
                    return false;
            }
            m_attributes.push_back({name, m_xml.sliced(start, m_at - start)});
            ++m_at;
        }
    }

    QByteArrayView value(QByteArrayView name) const
    {
        for (const auto &[n, v] : m_attributes) {
            if (n == name)
                return v;
        }
        return {};
    }

    // <?xml version="1.0" encoding="UTF-8" standalone="yes"?>, encoding and standalone optional.
    bool declaration()
    {
        m_at = 5;
        if (!attributes() || !take("?>") || m_attributes.empty() ||
            m_attributes[0].first != "version" || m_attributes[0].second != "1.0")
            return false;
        std::size_t next = 1;
        if (next < m_attributes.size() && m_attributes[next].first == "encoding") {
            if (m_attributes[next].second.compare("UTF-8", Qt::CaseInsensitive) != 0)
                return false;
            ++next;
        }
        if (next < m_attributes.size() && m_attributes[next].first == "standalone") {
            if (m_attributes[next].second != "yes" && m_attributes[next].second != "no")
                return false;
            ++next;
        }
        return next == m_attributes.size();
    }

private:
    QByteArrayView m_xml;
    qsizetype m_at = 0;
    std::vector<std::pair<QByteArrayView, QByteArrayView>> m_attributes;
};

} // namespace documents
