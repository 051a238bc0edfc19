#pragma once

#include "platform/core/field_cutter.h"
#include "search/match/text_matcher.h"

#include <QString>

namespace search {

// The search of a source that gives text rather than bytes (a UTF-16 file, the text of a
// document): the text, fed in pieces, is cut into fields by the same rules as every file, and
// the joined fields are searched for the keyword.
class TextFieldMatcher
{
public:
    void begin(const QString &keyword);
    void feed(QStringView text);

    bool found() const { return m_matcher.found(); }
    bool complete() const { return m_matcher.complete(); }
    const QString &excerpt() const { return m_matcher.excerpt(); }

private:
    platform::FieldCutter<char16_t> m_cutter;
    TextMatcher m_matcher;
    QString m_fields; // the joined fields of the current piece
};

} // namespace search
