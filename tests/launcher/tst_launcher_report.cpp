#include "launcher/report_box.h"
#include "launcher_fixture.h"
#include "platform/widgets/cursors.h"
#include "search/core/search_run.h"
#include "support/fake_entry_list.h"
#include "support/fake_shell_opener.h"
#include "support/test_files.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QTextBlock>

#include <memory>

namespace {

const QString kKeyword = QStringLiteral(u"关键字");

// The first block of the report box whose text starts with `start`; invalid when there is none.
QTextBlock blockStartingWith(const QPlainTextEdit &box, const QString &start)
{
    for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().startsWith(start))
            return block;
    }
    return {};
}

} // namespace

// Acting on the report box: opening a hit file from its entry, and saving the report.
class TestLauncherReport : public LauncherFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void openingFromTheReport_data();
    void openingFromTheReport();
    void savingTheReport_data();
    void savingTheReport();

private:
    // Runs a real search over three marked files with the keyword and one missing file, in
    // `folderName` below the temporary folder, and puts its report into the launcher.
    [[nodiscard]] bool reportOfARun(const QString &folderName);
    // Where a person points at `block`: a little into its text, scrolled into view.
    QPoint pointOn(const QTextBlock &block) const;
    // Right-clicks the report box and chooses "保存报告…" from its menu; false when the menu or
    // the item was missing.
    [[nodiscard]] bool chooseSaveFromTheMenu();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    FakeShell m_shell;
    launcher::ReportBox *m_box = nullptr;
};

void TestLauncherReport::initTestCase()
{
    setUpApplication();
    // The save dialog starts in the documents folder, which a fresh home does not have.
    QVERIFY(QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)));
}

void TestLauncherReport::init()
{
    QVERIFY(setUpLauncher());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_shell.requests.clear();
    m_form->setReportServices(&m_shell, m_dialogs.get());
    m_box = m_form->findChild<launcher::ReportBox *>(QStringLiteral("Text1"));
    QVERIFY(m_box);
}

void TestLauncherReport::cleanup()
{
    for (QWidget *popup = QApplication::activePopupWidget(); popup;
         popup = QApplication::activePopupWidget())
        popup->close();
    tearDownLauncher();
    m_dir.reset();
}

bool TestLauncherReport::reportOfARun(const QString &folderName)
{
    m_folder = m_dir->filePath(folderName);
    if (!QDir().mkpath(m_folder))
        return false;
    FakeEntryList list;
    list.folder = m_folder;
    const QStringList names{QStringLiteral("a.txt"), QStringLiteral(u"b 会议.txt"),
                            QStringLiteral("gone.txt"), QStringLiteral("c.txt")};
    for (const QString &name : names) {
        list.entries.append({name, true});
        if (name != u"gone.txt" &&
            !writeFile(
                list.folder + u'/' + name,
                (QStringLiteral(u"开头 ") + name + QStringLiteral(u" 的关键字在这里")).toUtf8()))
            return false;
    }
    search::SearchRun run(
        search::RunSnapshot::take(list), [] { return kKeyword; }, [] {});
    run.run();
    if (run.hits().size() != 3)
        return false;
    m_form->setReport(run.reportText(), run.hits());
    return true;
}

QPoint TestLauncherReport::pointOn(const QTextBlock &block) const
{
    const QTextCursor cursor(block);
    m_box->setTextCursor(cursor);
    m_box->ensureCursorVisible();
    const QRect start = m_box->cursorRect(cursor);
    return QPoint(start.left() + 40, start.center().y());
}

bool TestLauncherReport::chooseSaveFromTheMenu()
{
    const QPoint at = m_box->viewport()->mapTo(m_form.get(), QPoint(60, 40));
    QTest::mouseClick(window(), Qt::RightButton, {}, at);
    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }))
        return false;
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return false;
    // Qt's own commands stay in the menu.
    const QStringList kept{QStringLiteral("edit-copy"), QStringLiteral("select-all")};
    for (const QString &name : kept) {
        if (!menu->findChild<QAction *>(name))
            return false;
    }
    QAction *save = menu->findChild<QAction *>(QStringLiteral("saveReport"));
    if (!save || save->text() != QStringLiteral(u"保存报告…") || !save->isEnabled())
        return false;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(save).center());
    return true;
}

void TestLauncherReport::openingFromTheReport_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("line");   // how the line acted on starts; "header" for the header
    QTest::addColumn<QString>("action"); // "double click" or "Enter"
    QTest::addColumn<QString>("opens");  // the file the shell is asked to open, "" for none

    const QString nameLineB = QString(26, u' ') + QStringLiteral(u"b 会议.txt：");
    const QString excerptLineB = QString(40, u' ') + QStringLiteral(u"b 会议.txt 的关键字");
    const QString folder = QStringLiteral(u"报告");
    const QString dc = QStringLiteral("double click");
    const QString enter = QStringLiteral("Enter");
    const QString header = QStringLiteral("header");
    const QString b = QStringLiteral(u"b 会议.txt");
    QTest::newRow("Double click on the name line of the second entry opens its file")
        << folder << nameLineB << dc << b;
    QTest::newRow("Double click on the excerpt line of the second entry opens its file")
        << folder << excerptLineB << dc << b;
    QTest::newRow("Enter on the name line of the second entry opens its file")
        << folder << nameLineB << enter << b;
    QTest::newRow("A line break in the folder name does not shift the entries")
        << QStringLiteral(u"两行\n文件夹") << excerptLineB << dc << b;
    QTest::newRow("Double click on the header opens nothing")
        << folder << header << dc << QString();
    QTest::newRow("Enter on the header opens nothing") << folder << header << enter << QString();
    QTest::newRow("Double click on the blank line after the excerpt opens nothing")
        << folder << QString() << dc << QString();
    QTest::newRow("Double click on an unreadable file's line opens nothing")
        << folder << QString(26, u' ') + QStringLiteral(u"gone.txt：") << dc << QString();
}

void TestLauncherReport::openingFromTheReport()
{
    QFETCH(QString, folderName);
    QFETCH(QString, line);
    QFETCH(QString, action);
    QFETCH(QString, opens);

    QVERIFY(reportOfARun(folderName));
    QTextBlock block;
    if (line == u"header") {
        block = blockStartingWith(*m_box, QStringLiteral("  ") + m_folder);
    } else if (line.isEmpty()) {
        // The blank line between the second entry and the third.
        block = blockStartingWith(*m_box, QString(40, u' ') + QStringLiteral(u"b 会议")).next();
        QVERIFY(block.text().isEmpty());
    } else {
        block = blockStartingWith(*m_box, line);
    }
    QVERIFY2(block.isValid(), qPrintable(m_box->toPlainText()));
    const QPoint at = pointOn(block);
    const QPoint inWindow = m_box->viewport()->mapTo(m_form.get(), at);

    // The pointer says whether the line can be opened.
    QTest::mouseMove(window(), inWindow);
    const QCursor pointer = m_box->viewport()->cursor();
    if (opens.isEmpty()) {
        QCOMPARE(pointer.shape(), Qt::IBeamCursor);
    } else {
        QCOMPARE(pointer.shape(), Qt::BitmapCursor);
        QCOMPARE(pointer.hotSpot(), platform::handCursor().hotSpot());
    }

    if (action == u"Enter") {
        QTest::mouseClick(window(), Qt::LeftButton, {}, inWindow);
        QTRY_VERIFY(m_box->hasFocus());
        QCOMPARE(m_box->textCursor().block(), block);
        QTest::keyClick(m_box, Qt::Key_Return);
    } else {
        QTest::mouseDClick(window(), Qt::LeftButton, {}, inWindow);
    }

    if (opens.isEmpty()) {
        QVERIFY(m_shell.requests.isEmpty());
        return;
    }
    // One request, exactly as the chooser's "打开" makes it for that file.
    QCOMPARE(m_shell.requests.size(), 1);
    const ShellRequest &request = m_shell.requests.first();
    QCOMPARE(request.verb, QStringLiteral("open"));
    QCOMPARE(request.file, opens);
    QCOMPARE(request.workingFolder, m_folder + u'/');
    QCOMPARE(request.parameters, QString());
    QCOMPARE(request.showState, platform::ShellOpener::kShowRestore);
    QCOMPARE(request.owner, m_box);
    QVERIFY(QFileInfo::exists(request.workingFolder + request.file));
}

void TestLauncherReport::savingTheReport_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("answer");    // the path chosen in the dialog, relative to the
                                            // temporary folder; "" for Cancel
    QTest::addColumn<QByteArray>("before"); // what the chosen file held before
    QTest::addColumn<bool>("saved");

    const QString report = QStringLiteral(u"\r\n  /home/用户/数据/\r\n\r\n\r\n") +
                           QString(26, u' ') + QStringLiteral(u"会议.txt：\r\n\r\n") +
                           QString(40, u' ') +
                           QStringLiteral(u"本季度的查找工具已经上线...\r\n\r\n");
    QTest::newRow("The report is saved in UTF-8 with a byte-order mark, CR LF kept")
        << report << QStringLiteral(u"报告.txt") << QByteArray() << true;
    QTest::newRow("Control characters from a binary file are saved as the report holds them")
        << report + QStringLiteral("\x01\x1b[0m\x7f\r\n") << QStringLiteral("bin.txt")
        << QByteArray() << true;
    QTest::newRow("A longer file that was there is replaced whole")
        << report << QStringLiteral("old.txt") << QByteArray(4096, 'x') << true;
    QTest::newRow("Saving into a missing folder says why and leaves nothing")
        << report << QStringLiteral(u"没有的文件夹/报告.txt") << QByteArray() << false;
    QTest::newRow("Cancel in the dialog writes nothing")
        << report << QString() << QByteArray() << false;
}

void TestLauncherReport::savingTheReport()
{
    QFETCH(QString, report);
    QFETCH(QString, answer);
    QFETCH(QByteArray, before);
    QFETCH(bool, saved);

    const QString path = answer.isEmpty() ? QString() : m_dir->filePath(answer);
    if (!before.isEmpty())
        QVERIFY(writeFile(path, before));
    m_form->setReport(report, {});
    m_dialogs->savePaths = {path};

    QVERIFY(chooseSaveFromTheMenu());
    QTRY_COMPARE(m_dialogs->suggestedPaths.size(), 1);
    QCOMPARE(m_dialogs->suggestedPaths.first(),
             QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                 .filePath(QStringLiteral(u"查找报告.txt")));
    QVERIFY(m_dialogs->filters.first().contains(QStringLiteral("*.txt")));
    QCOMPARE(m_dialogs->lastParent, m_form.get());

    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot);
    if (saved) {
        QVERIFY(m_dialogs->messages.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + report.toUtf8());
        QCOMPARE(left, QStringList{QFileInfo(path).fileName()});
        return;
    }
    QVERIFY(left.isEmpty());
    if (answer.isEmpty()) {
        QVERIFY(m_dialogs->messages.isEmpty());
        return;
    }
    // The message gives a reason after its lead.
    QCOMPARE(m_dialogs->messages.size(), 1);
    const QString lead = QStringLiteral(u"无法保存报告：");
    QVERIFY2(m_dialogs->messages.first().startsWith(lead), qPrintable(m_dialogs->messages.first()));
    QVERIFY(m_dialogs->messages.first().size() > lead.size());
    QCOMPARE(m_dialogs->titles.last(), QStringLiteral("Quarlex"));
}

QTEST_MAIN(TestLauncherReport)
#include "tst_launcher_report.moc"
