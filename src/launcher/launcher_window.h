#pragma once

#include "platform/core/program.h"
#include "platform/widgets/window_manager.h"
#include "search/core/entry_list.h"

#include <QWidget>

#include <functional>

class QLabel;
namespace platform {
class Dialogs;
class ShellOpener;
} // namespace platform

namespace launcher {

class ChooserHost;
class KeywordPrompt;
class ReportBox;

// Form1, the launcher: the program's start and main window. Borderless, with its own caption
// strip of labels (title, "Mix", "口", "X"), the search label and the report box.
class Form1 : public QWidget, public search::ReportSink
{
    Q_OBJECT
    Q_DISABLE_COPY(Form1)

public:
    using EndProgram = std::function<void()>;

    // `endProgram` ends the process at once; tests pass their own.
    explicit Form1(KeywordPrompt &prompt, EndProgram endProgram = &platform::endProgram,
                   QWidget *parent = nullptr);
    ~Form1() override;

    // The chooser, once it exists; the search label shows it and "X" unloads it.
    void setChooserHost(ChooserHost *host) { m_chooserHost = host; }

    // What the report box opens hit files with and asks for a file name to save the report.
    void setReportServices(platform::ShellOpener *shell, platform::Dialogs *dialogs);

    // Replaces the whole text of the report box and the list of its hit entries.
    void setReport(const QString &report, const QList<search::ReportHit> &hits) override;
    // The report exactly as given, CR LF and control characters included.
    const QString &report() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // Closing by the window manager (Alt+F4) is "X".
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *addLabel(const char *name, const QString &caption, const QRect &geometry,
                     qreal pointSize, bool bold, const QCursor &cursor);

    void Form_Load();
    void Form_MouseMove(Qt::MouseButtons buttons, const QPointF &global);
    void Label_MouseMove(QLabel *label, Qt::MouseButtons buttons, const QPointF &global);
    void Label_Click(QLabel *label);
    void Command1_Click();
    void Label1_Click();
    void Label3_Click();
    // Module1's drag procedure: the window follows the mouse while the left button is down.
    void DragForm(const QPointF &global);
    void setNormalColours();

    KeywordPrompt &m_prompt;
    EndProgram m_endProgram;
    ChooserHost *m_chooserHost = nullptr;
    platform::WindowDrag m_drag;
    QLabel *m_pressedLabel = nullptr;

    ReportBox *m_Text1 = nullptr;
    QLabel *m_Command1 = nullptr;
    QLabel *m_Label4 = nullptr;
    QLabel *m_Label3 = nullptr;
    QLabel *m_Label2 = nullptr;
    QLabel *m_Label1 = nullptr;
};

} // namespace launcher
