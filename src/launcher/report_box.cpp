#include "launcher/report_box.h"

#include "platform/core/program.h"
#include "platform/widgets/cursors.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/shell_opener.h"
#include "search/core/run_report.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextBlock>
#include <QThread>

#include <algorithm>
#include <memory>

namespace launcher {

namespace {

// What the report box shows for a report: control characters other than tab and the line ends
// become their visible pictures (U+2400...), so that a NUL or an escape byte from a binary file
// neither cuts the text short nor disappears. One character stays one character, so places in
// the report and in the box differ only by the CR of each CR LF.
QString displayText(const QString &report)
{
    QString shown = report;
    for (QChar &c : shown) {
        const char16_t code = c.unicode();
        if (code < 0x20 && code != u'\t' && code != u'\n' && code != u'\r')
            c = QChar(char16_t(0x2400 + code));
        else if (code == 0x7F)
            c = QChar(u'\u2421');
    }
    return shown;
}

// Writes `report` to `path` as UTF-8 after a byte-order mark, all or nothing: the old file, if
// any, stays as it was unless the whole new one is written. Returns why it failed, or nothing.
QString writeReportFile(const QString &path, const QString &report)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // Without the mark, editors on Windows take a report without Latin text for GBK.
    file.write("\xEF\xBB\xBF", 3);
    file.write(report.toUtf8());
    if (!file.commit())
        return file.errorString();
    return QString();
}

// Where the save dialog starts: 查找报告.txt in the user's documents folder, or in the home
// folder when there is no documents folder.
QString suggestedReportPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return QDir(folder).filePath(QStringLiteral(u"查找报告.txt"));
}

} // namespace

ReportBox::ReportBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The pointer changes over the lines that can be opened.
    viewport()->setMouseTracking(true);
}

void ReportBox::setServices(platform::ShellOpener *shell, platform::Dialogs *dialogs)
{
    m_shell = shell;
    m_dialogs = dialogs;
}

void ReportBox::setReport(const QString &report, const QList<search::ReportHit> &hits)
{
    m_report = report;
    m_hits.clear();
    m_spans.clear();
    m_hits.reserve(hits.size());
    m_spans.reserve(hits.size());
    // One pass over the report turns the entries' places into document positions: every CR LF
    // before a place moves it one back. Entries out of order or outside the text are dropped.
    qsizetype at = 0;
    qsizetype crLfs = 0;
    const auto positionOf = [&](qsizetype place) {
        for (; at < place; ++at) {
            if (report.at(at) == u'\r' && at + 1 < report.size() && report.at(at + 1) == u'\n')
                ++crLfs;
        }
        return int(place - crLfs);
    };
    for (const search::ReportHit &hit : hits) {
        if (hit.start < at || hit.length <= 0 || hit.start + hit.length > report.size())
            continue;
        const int start = positionOf(hit.start);
        const int end = positionOf(hit.start + hit.length);
        m_hits.append(hit);
        m_spans.append(Span{start, end});
    }
    setPlainText(displayText(report));
}

int ReportBox::hitAt(const QTextBlock &block) const
{
    if (!block.isValid() || block.text().trimmed().isEmpty())
        return -1;
    const int position = block.position();
    const auto after = std::upper_bound(m_spans.cbegin(), m_spans.cend(), position,
                                        [](int p, const Span &span) { return p < span.start; });
    if (after == m_spans.cbegin())
        return -1;
    const auto span = std::prev(after);
    return position < span->end ? int(span - m_spans.cbegin()) : -1;
}

int ReportBox::hitAtPoint(const QPoint &point) const
{
    // Below the text this is the last block, which is empty: every report ends with a line end.
    return hitAt(cursorForPosition(point).block());
}

void ReportBox::openHit(int index)
{
    if (!m_shell || index < 0 || index >= m_hits.size())
        return;
    const search::ReportHit &hit = m_hits.at(index);
    if (hit.member.isEmpty()) {
        openPath(hit.path);
        return;
    }
    // A member of an archive is copied out first, and its copy is opened. The copy can take a
    // while (a big member, deep nesting), so it is made on a thread of its own: the window stays
    // live, the pointer over the report shows the wait. A second request for a member still
    // being copied is not made again.
    QString key = hit.path; // the archive and the member's chain
    for (const int at : hit.member)
        key += u'\n' + QString::number(at);
    if (m_copying.contains(key))
        return;
    m_copying.insert(key);
    updatePointer();
    auto copied = std::make_shared<QString>();
    QThread *copier = QThread::create([copied, hit] { *copied = search::copyHitMember(hit); });
    // Queued to this box in the user interface thread; a box gone by then gets nothing, and the
    // thread removes itself when done.
    connect(copier, &QThread::finished, this, [this, copied, key] {
        m_copying.remove(key);
        updatePointer();
        openCopy(*copied);
    });
    connect(copier, &QThread::finished, copier, &QObject::deleteLater);
    copier->start();
}

void ReportBox::openCopy(const QString &path)
{
    if (path.isEmpty()) {
        if (m_dialogs)
            m_dialogs->criticalMessage(window(), platform::applicationTitle(),
                                       QStringLiteral(u"无法从压缩文件中取出这个文件。"));
        return;
    }
    openPath(path);
}

void ReportBox::openPath(const QString &path)
{
    if (!m_shell)
        return;
    // The same request as the chooser's "打开": the bare name in its folder, the folder ending
    // in a separator. The run built the path as folder, "/", name.
    const qsizetype slash = path.lastIndexOf(u'/');
    m_shell->open(this, QStringLiteral("open"), path.mid(slash + 1), QString(),
                  path.left(slash + 1), platform::ShellOpener::kShowRestore);
}

void ReportBox::updatePointer()
{
    if (!m_copying.isEmpty())
        viewport()->setCursor(platform::arrowHourglassCursor());
    else
        viewport()->setCursor(m_handShown ? platform::handCursor() : QCursor(Qt::IBeamCursor));
}

void ReportBox::saveReport()
{
    if (!m_dialogs)
        return;
    const QString path =
        m_dialogs->saveFileName(window(), QStringLiteral(u"保存报告"), suggestedReportPath(),
                                QStringLiteral(u"文本文件 (*.txt);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    const QString failure = writeReportFile(path, m_report);
    if (!failure.isEmpty())
        m_dialogs->criticalMessage(window(), platform::applicationTitle(),
                                   QStringLiteral(u"无法保存报告：") + failure);
}

void ReportBox::mouseMoveEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseMoveEvent(event);
    const bool overHit = hitAtPoint(event->position().toPoint()) >= 0;
    if (overHit == m_handShown)
        return;
    m_handShown = overHit;
    updatePointer();
}

void ReportBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const int hit = hitAtPoint(event->position().toPoint());
        if (hit >= 0) {
            // Instead of selecting the word under the pointer.
            openHit(hit);
            event->accept();
            return;
        }
    }
    QPlainTextEdit::mouseDoubleClickEvent(event);
}

void ReportBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const int hit = hitAt(textCursor().block());
        if (hit >= 0) {
            openHit(hit);
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void ReportBox::contextMenuEvent(QContextMenuEvent *event)
{
    // Qt's own menu (copy, select all) and the save command below it.
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction *save = menu->addAction(QStringLiteral(u"保存报告…"));
    save->setObjectName(QStringLiteral("saveReport"));
    save->setEnabled(m_dialogs && !m_report.isEmpty());
    // Queued: the save dialog opens after the menu has gone.
    connect(save, &QAction::triggered, this, &ReportBox::saveReport, Qt::QueuedConnection);
    menu->popup(event->globalPos());
}

} // namespace launcher
