#pragma once

#include "platform/widgets/form.h"

#include <QElapsedTimer>
#include <QTimer>

class QLabel;

namespace search {

// Form2: the small borderless window shown while a search runs. Esc or closing it asks for the
// run to be cancelled. A thin line along its bottom edge grows with the share of files done, and
// within a long file (the pages of a scan) with the share of that file read.
class Form2 : public platform::Form
{
    Q_OBJECT
    Q_DISABLE_COPY(Form2)

public:
    explicit Form2(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_Label1; }
    QWidget *progressLine() const { return m_progressLine; }
    // `done` of `total` marked files are searched, and `fileShare` (0..1) of the next one. The
    // line and the accessible description (which counts whole files) follow at most every
    // kRepaintIntervalMs, and at once when the last file is done.
    void setProgress(int done, int total, double fileShare = 0.0);
    static constexpr int kRepaintIntervalMs = 50;
    // Places the window centred over `anchor` (the launcher).
    void centreOver(const QWidget *anchor);

Q_SIGNALS:
    void cancelRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showProgress();

    QLabel *m_Label1;
    QWidget *m_progressLine;
    int m_done = 0;
    int m_total = 0;
    double m_fileShare = 0.0;
    QElapsedTimer m_sinceShown;
    QTimer m_pendingShow;
};

} // namespace search
