#pragma once

#include "search/core/entry_list.h"

#include <QList>
#include <QPlainTextEdit>
#include <QSet>

class QTextBlock;
namespace platform {
class Dialogs;
class ShellOpener;
} // namespace platform

namespace launcher {

// Text1, the launcher's report box: shows the last run's report, read-only. A double click or
// Enter on the name line or the excerpt line of a hit entry opens that file through the shell,
// and its context menu can save the report as a file.
class ReportBox : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY(ReportBox)

public:
    explicit ReportBox(QWidget *parent = nullptr);

    // Opening a hit needs `shell`, saving needs `dialogs`; without them nothing happens.
    void setServices(platform::ShellOpener *shell, platform::Dialogs *dialogs);

    // Replaces the whole text. `hits` are the report's hit entries, in report order.
    void setReport(const QString &report, const QList<search::ReportHit> &hits);
    // The report exactly as given, CR LF and control characters included.
    const QString &report() const { return m_report; }

    // The index in the hits of the entry whose name or excerpt line `block` shows, or -1 for
    // any other line (the header, a blank line, an unreadable file).
    int hitAt(const QTextBlock &block) const;
    // Asks the shell to open the file of hit `index`. A member of an archive is copied out on
    // a thread first; the request follows when the copy is done (or a message says it failed).
    void openHit(int index);
    // Asks for a file name and writes the report there; a failure is shown in a message box.
    void saveReport();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // The hit under a point of the viewport, or -1.
    int hitAtPoint(const QPoint &point) const;
    void openPath(const QString &path);
    void openCopy(const QString &path);
    // The pointer over the text: waiting while a member is copied, else by the line under it.
    void updatePointer();

    // A hit entry as positions in the document, where each CR LF of the report is one
    // character (a block end).
    struct Span
    {
        int start;
        int end;
    };

    platform::ShellOpener *m_shell = nullptr;
    platform::Dialogs *m_dialogs = nullptr;
    QString m_report;
    QList<search::ReportHit> m_hits;
    QList<Span> m_spans;
    bool m_handShown = false;
    QSet<QString> m_copying; // the members being copied out, by archive and member chain
};

} // namespace launcher
