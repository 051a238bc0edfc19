#include "launcher/launcher_window.h"

#include "launcher/chooser_host.h"
#include "launcher/keyword_prompt.h"
#include "launcher/report_box.h"
#include "platform/widgets/app_icon.h"
#include "platform/widgets/cursors.h"
#include "platform/widgets/fonts.h"
#include "platform/widgets/twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

namespace launcher {

using platform::twipsRect;

namespace {

const QColor captionNormal(0, 0, 200);
const QColor captionHover(0, 100, 200);
const QColor titleNormal(255, 128, 128);
const QColor titleHover(100, 100, 255);
const QColor searchHover(255, 255, 0);
const QColor reportText(255, 255, 0);

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    if (palette.color(QPalette::WindowText) == colour)
        return;
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

Form1::Form1(KeywordPrompt &prompt, EndProgram endProgram, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_prompt(prompt),
      m_endProgram(std::move(endProgram)), m_drag(*this)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(u"Quarlex - 批量查找"));
    setWindowIcon(platform::applicationIcon());
    setFixedSize(platform::twipsSize(9405, 6300));
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::black);
    setPalette(background);
    setAutoFillBackground(true);
    setMouseTracking(true);

    // Created from the hindmost control to the frontmost: later siblings are drawn on top.
    m_Label1 = addLabel("Label1", QStringLiteral("Mix"), twipsRect(6840, 240, 495, 375), 14.25,
                        false, platform::handCursor());
    m_Label1->setAccessibleName(QStringLiteral(u"最小化"));
    m_Label1->setAccessibleDescription(QStringLiteral(u"将启动窗口最小化"));

    m_Label2 = addLabel("Label2", QStringLiteral(u"口"), twipsRect(7680, 120, 495, 375), 21.75,
                        false, platform::unavailableCursor());
    m_Label2->setAccessibleName(QStringLiteral(u"最大化（不可用）"));
    m_Label2->setAccessibleDescription(QStringLiteral(u"此按钮没有作用"));

    m_Label3 = addLabel("Label3", QStringLiteral("X"), twipsRect(8520, 240, 495, 375), 14.25, false,
                        platform::handCursor());
    m_Label3->setAccessibleName(QStringLiteral(u"关闭"));
    m_Label3->setAccessibleDescription(QStringLiteral(u"关闭文件选择窗口并退出程序"));

    m_Label4 = addLabel("Label4", QStringLiteral(u"标题：Quarlex - 批量搜索"),
                        twipsRect(240, 240, 3735, 375), 14.25, true, platform::moveCursor());
    m_Label4->setAccessibleName(QStringLiteral(u"标题：Quarlex - 批量搜索"));
    m_Label4->setAccessibleDescription(QStringLiteral(u"按住鼠标左键拖动可移动窗口"));

    m_Command1 = addLabel("Command1", QStringLiteral(u"。。。Zorvik"),
                          twipsRect(360, 720, 1695, 375), 12, false, platform::handCursor());
    m_Command1->setAccessibleName(QStringLiteral(u"搜索"));
    m_Command1->setAccessibleDescription(
        QStringLiteral(u"输入关键字，然后打开文件选择窗口，选择要搜索的文件"));

    m_Text1 = new ReportBox(this);
    m_Text1->setObjectName(QStringLiteral("Text1"));
    m_Text1->setGeometry(twipsRect(360, 1200, 8655, 4815));
    m_Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_Text1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QPalette reportColours = m_Text1->palette();
    reportColours.setColor(QPalette::Base, Qt::black);
    reportColours.setColor(QPalette::Text, reportText);
    m_Text1->setPalette(reportColours);
    m_Text1->setAccessibleName(QStringLiteral(u"搜索结果"));
    m_Text1->setAccessibleDescription(QStringLiteral(
        u"最近一次搜索的报告，可以选择和复制；双击文件名或摘要行打开该文件，右键菜单可保存报告"));

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    Form_Load();
}

Form1::~Form1() = default;

QLabel *Form1::addLabel(const char *name, const QString &caption, const QRect &geometry,
                        qreal pointSize, bool bold, const QCursor &cursor)
{
    auto *label = new QLabel(caption, this);
    label->setObjectName(QLatin1StringView(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    label->setFont(platform::calligraphicFont(pointSize, bold));
    label->setCursor(cursor);
    label->setMouseTracking(true);
    label->installEventFilter(this);
    return label;
}

void Form1::setReportServices(platform::ShellOpener *shell, platform::Dialogs *dialogs)
{
    m_Text1->setServices(shell, dialogs);
}

void Form1::setReport(const QString &report, const QList<search::ReportHit> &hits)
{
    m_Text1->setReport(report, hits);
}

const QString &Form1::report() const
{
    return m_Text1->report();
}

void Form1::Form_Load()
{
    setNormalColours();
}

void Form1::setNormalColours()
{
    setTextColour(m_Label1, captionNormal);
    setTextColour(m_Label2, captionNormal);
    setTextColour(m_Label3, captionNormal);
    setTextColour(m_Label4, titleNormal);
    setTextColour(m_Command1, QGuiApplication::palette().color(QPalette::Button));
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    auto *label = qobject_cast<QLabel *>(watched);
    if (!label || label->parent() != this)
        return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        Label_MouseMove(label, mouse->buttons(), mouse->globalPosition());
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        m_drag.press(mouse->globalPosition());
        // The second press of a double click is no new click, as with a button.
        m_pressedLabel =
            (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton)
                ? label
                : nullptr;
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        m_drag.release();
        const bool click = mouse->button() == Qt::LeftButton && m_pressedLabel == label &&
                           label->rect().contains(mouse->position().toPoint());
        m_pressedLabel = nullptr;
        if (click)
            Label_Click(label);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void Form1::mousePressEvent(QMouseEvent *event)
{
    m_drag.press(event->globalPosition());
    m_pressedLabel = nullptr;
}

void Form1::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove(event->buttons(), event->globalPosition());
}

void Form1::mouseReleaseEvent(QMouseEvent *)
{
    m_drag.release();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The window stays unless the program ends; ending it is the only way out, as with "X".
    event->ignore();
    Label3_Click();
}

void Form1::Form_MouseMove(Qt::MouseButtons buttons, const QPointF &global)
{
    setNormalColours();
    if (buttons == Qt::LeftButton)
        DragForm(global);
}

void Form1::Label_MouseMove(QLabel *label, Qt::MouseButtons buttons, const QPointF &global)
{
    if (label == m_Label1 || label == m_Label2 || label == m_Label3) {
        setTextColour(label, captionHover);
    } else if (label == m_Label4) {
        setTextColour(label, titleHover);
        if (buttons == Qt::LeftButton)
            DragForm(global);
    } else if (label == m_Command1) {
        setTextColour(label, searchHover);
    }
}

void Form1::Label_Click(QLabel *label)
{
    if (label == m_Command1)
        Command1_Click();
    else if (label == m_Label1)
        Label1_Click();
    else if (label == m_Label3)
        Label3_Click();
    // Label2 ("口") and the title have no click action.
}

void Form1::Command1_Click()
{
    m_prompt.AskKeyword(this);
    if (m_prompt.StrKey().isEmpty()) {
        m_prompt.showEmptyKeywordMessage(this);
        return;
    }
    if (m_chooserHost)
        m_chooserHost->showChooser();
}

void Form1::Label1_Click()
{
    platform::minimizeWindow(*this);
}

void Form1::Label3_Click()
{
    // The chooser's unload procedure saves the last location; a chooser that was never loaded
    // has nothing to save. Nothing else runs once the end is requested, also when a search is
    // in progress further down the stack.
    if (m_chooserHost && m_chooserHost->isChooserLoaded())
        m_chooserHost->unloadChooser();
    m_endProgram();
}

void Form1::DragForm(const QPointF &global)
{
    m_drag.drag(global);
}

} // namespace launcher
