#include "search/widgets/progress_window.h"

#include "platform/widgets/fonts.h"
#include "platform/widgets/twips.h"

#include <QKeyEvent>
#include <QLabel>

#include <algorithm>

namespace search {

namespace {
// Height of the progress line in pixels.
constexpr int kLineHeight = 2;
} // namespace

Form2::Form2(QWidget *parent)
    : platform::Form(parent, Qt::Tool | Qt::FramelessWindowHint), m_Label1(new QLabel(this)),
      m_progressLine(new QWidget(this))
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

    // In the strip below the caption's glyphs, in front of the label's lower edge; it starts
    // with no width.
    m_progressLine->setObjectName(QStringLiteral("progressLine"));
    QPalette linePal = m_progressLine->palette();
    linePal.setColor(QPalette::Window, Qt::white);
    m_progressLine->setPalette(linePal);
    m_progressLine->setAutoFillBackground(true);
    m_progressLine->setGeometry(0, height() - kLineHeight, 0, kLineHeight);
    m_progressLine->raise();

    m_pendingShow.setSingleShot(true);
    connect(&m_pendingShow, &QTimer::timeout, this, &Form2::showProgress);
}

void Form2::setProgress(int done, int total, double fileShare)
{
    m_done = done;
    m_total = total;
    m_fileShare = done < total ? std::clamp(fileShare, 0.0, 1.0) : 0.0;
    if (done >= total || !m_sinceShown.isValid() || m_sinceShown.elapsed() >= kRepaintIntervalMs) {
        showProgress();
        return;
    }
    // Steps that come quicker than the interval wait for it; the latest one is shown.
    if (!m_pendingShow.isActive())
        m_pendingShow.start(int(kRepaintIntervalMs - m_sinceShown.elapsed()));
}

void Form2::showProgress()
{
    m_pendingShow.stop();
    m_sinceShown.start();
    const int width = m_total > 0
                          ? int(this->width() * (std::min(m_done, m_total) + m_fileShare) / m_total)
                          : this->width();
    m_progressLine->resize(width, kLineHeight);
    setAccessibleDescription(QStringLiteral(u"已完成 %1 / %2 个文件")
                                 .arg(QString::number(m_done), QString::number(m_total)));
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
