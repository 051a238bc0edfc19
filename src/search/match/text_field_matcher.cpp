#include "search/match/text_field_matcher.h"

namespace search {

void TextFieldMatcher::begin(const QString &keyword)
{
    m_cutter.reset();
    m_matcher.begin(keyword);
}

void TextFieldMatcher::feed(QStringView text)
{
    if (m_matcher.complete())
        return;
    const auto *p = reinterpret_cast<const char16_t *>(text.data());
    platform::AppendToText sink{m_fields};
    m_cutter.cutAll(p, p + text.size(), sink);
    m_matcher.feed(m_fields);
    m_fields.resize(0);
}

} // namespace search
