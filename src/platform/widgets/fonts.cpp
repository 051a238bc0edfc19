#include "platform/widgets/fonts.h"

#include <QFont>
#include <QStringList>

namespace platform {

QString calligraphicFamily()
{
    return QStringLiteral(u"华文新魏");
}

void registerFontSubstitutes()
{
    // "AR PL UKai CN" (fonts-arphic-ukai) is a brush-style face like the one asked for;
    // "WenQuanYi Micro Hei" (fonts-wqy-microhei) covers whatever UKai lacks.
    QFont::insertSubstitutions(calligraphicFamily(), {QStringLiteral("AR PL UKai CN"),
                                                      QStringLiteral("WenQuanYi Micro Hei")});
}

QFont calligraphicFont(qreal pointSize, bool bold)
{
    QFont font(calligraphicFamily());
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace platform
