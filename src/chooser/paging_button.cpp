#include "chooser/paging_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace chooser {

PagingButton::PagingButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent)
{}

void PagingButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWrapAnywhere, caption);
}

} // namespace chooser
