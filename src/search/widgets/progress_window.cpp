#include "search/widgets/progress_window.h"

#include "platform/widgets/fonts.h"
#include "platform/widgets/twips.h"

#include <QKeyEvent>
#include <QLabel>

namespace search {

Form2::Form2(QWidget *parent)
    : platform::Form(parent, Qt::Tool | Qt::FramelessWindowHint), m_Label1(new QLabel(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    setFixedSize(platform::twipsSize(4680, 570));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    m_Label1->setObjectName(QStringLiteral("Label1"));
    m_Label1->setText(QStringLiteral(u"正在查找中。。。"));
    m_Label1->setGeometry(platform::twipsRect(120, 120, 4455, 495));
    m_Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_Label1->setAttribute(Qt::WA_TranslucentBackground);
    m_Label1->setAutoFillBackground(false);
    m_Label1->setFont(platform::calligraphicFont(15.75));
    QPalette labelPal = m_Label1->palette();
    labelPal.setColor(QPalette::WindowText, Qt::white);
    m_Label1->setPalette(labelPal);
}

void Form2::centreOver(const QWidget *anchor)
{
    if (!anchor)
        return;
    const QRect area = anchor->frameGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void Form2::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT cancelRequested();
        return;
    }
    platform::Form::keyPressEvent(event);
}

void Form2::closeEvent(QCloseEvent *event)
{
    Q_EMIT cancelRequested();
    platform::Form::closeEvent(event);
}

} // namespace search
