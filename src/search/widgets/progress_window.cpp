#include "search/widgets/progress_window.h"

#include <QKeyEvent>
#include <QLabel>

namespace search {

namespace {
// Geometry is designed in twips; 15 twips make one device-independent pixel.
constexpr int px(int twips)
{
    return twips / 15;
}
} // namespace

Form2::Form2(QWidget *parent)
    : platform::Form(parent, Qt::Tool | Qt::FramelessWindowHint), m_Label1(new QLabel(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    setFixedSize(px(4680), px(570));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    m_Label1->setObjectName(QStringLiteral("Label1"));
    m_Label1->setText(QStringLiteral(u"正在查找中。。。"));
    m_Label1->setGeometry(px(120), px(120), px(4455), px(495));
    m_Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_Label1->setAttribute(Qt::WA_TranslucentBackground);
    m_Label1->setAutoFillBackground(false);
    QFont font(QStringLiteral(u"华文新魏"));
    font.setPointSizeF(15.75);
    font.setWeight(QFont::Normal);
    m_Label1->setFont(font);
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
