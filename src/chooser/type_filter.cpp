#include "chooser/type_filter.h"

#include <array>

namespace chooser {

namespace {

struct FilterItem
{
    const char16_t *text;
    const char16_t *pattern;
};

constexpr std::array<FilterItem, 6> kItems{{
    {u"应用程序（*.exe）", u"*.exe"},
    {u"文本文件（*.txt）", u"*.txt"},
    {u"网页文件（*.asp,*.htm）等", u"*.asp;*.js;*.html;*.htm"},
    {u"图像文件（*.jpg,*.bmp,*.gif）等", u"*.jpg;*.jpeg;*.bmp;*.png;*.gif"},
    {u"全部文件（*.*）", u"*.*"},
    {u"全部文件，含子文件夹（**/*.*）", u"**/*"},
}};

} // namespace

QStringList filterItemTexts()
{
    QStringList texts;
    for (const FilterItem &item : kItems)
        texts.append(QString::fromUtf16(item.text));
    return texts;
}

QString loadItemText()
{
    return QString::fromUtf16(kItems[kLoadItem].text);
}

QString patternForItem(int index)
{
    if (index < 0 || index >= int(kItems.size()))
        return QString();
    return QString::fromUtf16(kItems[index].pattern);
}

QString patternForText(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("*.*") : text;
}

} // namespace chooser
