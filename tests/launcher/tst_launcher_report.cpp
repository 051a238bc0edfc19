#include "launcher/report_box.h"
#include "launcher_fixture.h"
#include "platform/core/member_copies_folder.h"
#include "platform/widgets/cursors.h"
#include "search/archives/member_copy.h"
#include "search/core/search_run.h"
#include "support/fake_entry_list.h"
#include "support/fake_shell_opener.h"
#include "support/report_entries.h"
#include "support/test_files.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextBlock>

// Acting on the report box: opening a hit's file from its entry, and saving the report.
class TestLauncherReport : public LauncherFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { tearDownLauncher(); }

    void openingFromTheReport_data();
    void openingFromTheReport();
    void openingAMemberFromTheReport_data();
    void openingAMemberFromTheReport();
    void savingTheReport_data();
    void savingTheReport();
    void namesCannotForgeEntries();

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_saveDir;
    QTemporaryDir m_runtime;
    FakeShell m_shell;
    launcher::ReportBox *m_box = nullptr;
};

void TestLauncherReport::initTestCase()
{
    setUpApplication();
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    // The save dialog starts in the documents folder, which a fresh home does not have.
    QVERIFY(QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)));
}

void TestLauncherReport::init()
{
    QVERIFY(setUpLauncher());
    m_shell.requests.clear();
    m_form->setReportServices(&m_shell, m_dialogs.get());
    m_box = m_form->findChild<launcher::ReportBox *>(QStringLiteral("Text1"));
    QVERIFY(m_box);
}

void TestLauncherReport::openingFromTheReport_data()
{
    QTest::addColumn<QString>("line");  // how the line acted on starts
    QTest::addColumn<bool>("byEnter");  // Enter on the line instead of a double click
    QTest::addColumn<QString>("opens"); // the file the shell is asked to open, "" for none

    const QString b = QStringLiteral(u"b 会议.txt");
    const QString excerptB = QString(40, u' ') + QStringLiteral(u"b 会议.txt 的关键字");
    QTest::newRow("Double click on the name line of the second entry opens its file")
        << QString(26, u' ') + b + u'：' << false << b;
    QTest::newRow("Double click on the excerpt line of the second entry opens its file")
        << excerptB << false << b;
    QTest::newRow("Enter on the excerpt line of the second entry opens its file")
        << excerptB << true << b;
    QTest::newRow("Double click on the header opens nothing")
        << QStringLiteral("  ") + m_dir.path() << false << QString();
    QTest::newRow("Double click on an unreadable file's line opens nothing")
        << QString(26, u' ') + QStringLiteral(u"gone.txt：") << false << QString();
}

void TestLauncherReport::openingFromTheReport()
{
    QFETCH(QString, line);
    QFETCH(bool, byEnter);
    QFETCH(QString, opens);

    // The report of a real run: three hits and a marked file that is missing.
    FakeEntryList list;
    list.folder = m_dir.path();
    for (const QString &name : {QStringLiteral("a.txt"), QStringLiteral(u"b 会议.txt"),
                                QStringLiteral("gone.txt"), QStringLiteral("c.txt")}) {
        list.entries.append({name, true});
        if (name != u"gone.txt")
            QVERIFY(writeFile(
                m_dir.filePath(name),
                (QStringLiteral(u"开头 ") + name + QStringLiteral(u" 的关键字在这里")).toUtf8()));
    }
    search::SearchRun run(
        search::RunSnapshot::take(list), [] { return QStringLiteral(u"关键字"); }, [] {});
    run.run();
    m_form->setReport(run.reportText(), run.hits());

    QTextBlock block = m_box->document()->begin();
    while (block.isValid() && !block.text().startsWith(line))
        block = block.next();
    QVERIFY2(block.isValid(), qPrintable(m_box->toPlainText()));
    m_box->setTextCursor(QTextCursor(block));
    m_box->ensureCursorVisible();
    const QPoint at = m_box->viewport()->mapTo(
        m_form.get(), m_box->cursorRect(QTextCursor(block)).center() + QPoint(40, 0));

    // The pointer says whether the line can be opened. (Coming from elsewhere: a move to where
    // the mouse already is, as at the end of the previous row, is no move.)
    QTest::mouseMove(window(), pointOf(QStringLiteral("bare")));
    QTest::mouseMove(window(), at);
    QCOMPARE(m_box->viewport()->cursor().shape(),
             opens.isEmpty() ? Qt::IBeamCursor : Qt::BitmapCursor);
    if (byEnter) {
        QTest::mouseClick(window(), Qt::LeftButton, {}, at);
        QTRY_VERIFY(m_box->hasFocus());
        QTest::keyClick(m_box, Qt::Key_Return);
    } else {
        QTest::mouseDClick(window(), Qt::LeftButton, {}, at);
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
    QCOMPARE(request.workingFolder, m_dir.path() + u'/');
    QCOMPARE(request.parameters, QString());
    QCOMPARE(request.showState, platform::ShellOpener::kShowRestore);
    QCOMPARE(request.owner, m_box);
}

void TestLauncherReport::openingAMemberFromTheReport_data()
{
    QTest::addColumn<qint64>("cutTo");  // the archive cut to this many bytes after the run, or -1
    QTest::addColumn<QString>("opens"); // the copy's name, "" for a message instead

    QTest::newRow("Enter on a member's entry opens its copy")
        << qint64(-1) << QStringLiteral(u"合同.txt");
    QTest::newRow("An archive damaged since the run: a message, no request")
        << qint64(60) << QString();
}

void TestLauncherReport::openingAMemberFromTheReport()
{
    QFETCH(qint64, cutTo);
    QFETCH(QString, opens);

    // A run over an archive whose one member, named in GBK, holds the keyword.
    const QString archive = m_dir.filePath(QStringLiteral("names.zip"));
    QFile::remove(archive);
    QVERIFY(QFile::copy(QStringLiteral(QUARLEX_ARCHIVES_DIR "/gbk-names.zip"), archive));
    QVERIFY(QFile::setPermissions(archive, QFile::ReadOwner | QFile::WriteOwner));
    FakeEntryList list;
    list.folder = m_dir.path();
    list.entries.append({QStringLiteral("names.zip"), true});
    search::SearchRun run(
        search::RunSnapshot::take(list), [] { return QStringLiteral(u"关键字"); }, [] {});
    run.run();
    QCOMPARE(run.hits().size(), 1);
    m_form->setReport(run.reportText(), run.hits());
    if (cutTo >= 0)
        QVERIFY(QFile::resize(archive, cutTo));

    QTextBlock block = m_box->document()->begin();
    while (block.isValid() && !block.text().endsWith(QStringLiteral(u"names.zip/客户/合同.txt：")))
        block = block.next();
    QVERIFY2(block.isValid(), qPrintable(m_box->toPlainText()));
    m_box->setFocus();
    m_box->setTextCursor(QTextCursor(block));
    QTest::keyClick(m_box, Qt::Key_Return);
    // A second Enter while the copy is made asks nothing more.
    QTest::keyClick(m_box, Qt::Key_Return);
    // The keys came back before the copy was done: nothing is opened or said yet, and the
    // pointer over the report waits.
    QVERIFY(m_shell.requests.isEmpty() && m_dialogs->messages.isEmpty());
    QCOMPARE(m_box->viewport()->cursor().hotSpot(), platform::arrowHourglassCursor().hotSpot());

    if (opens.isEmpty()) {
        QTRY_COMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages.first(), QStringLiteral(u"无法从压缩文件中取出这个文件。"));
        QTest::qWait(50);
        QVERIFY(m_shell.requests.isEmpty());
        return;
    }
    QTRY_COMPARE(m_shell.requests.size(), 1);
    QTest::qWait(50);
    QCOMPARE(m_shell.requests.size(), 1);
    const ShellRequest &request = m_shell.requests.first();
    QCOMPARE(request.verb, QStringLiteral("open"));
    QCOMPARE(request.file, opens);
    QCOMPARE(request.owner, m_box);
    QVERIFY2(request.workingFolder.startsWith(platform::memberCopiesFolder() + u'/'),
             qPrintable(request.workingFolder));
    QFile copy(request.workingFolder + request.file);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QStringDecoder gbk("GBK");
    QCOMPARE(QString(gbk(copy.readAll())), QStringLiteral(u"甲方乙方的关键字"));
    QVERIFY(m_dialogs->messages.isEmpty());
    QCOMPARE(m_box->viewport()->cursor().shape(), Qt::IBeamCursor);
}

void TestLauncherReport::savingTheReport_data()
{
    QTest::addColumn<QString>("answer"); // the path chosen in the save dialog
    QTest::addColumn<bool>("saved");

    QTest::newRow("The report is saved in UTF-8 after a byte-order mark, CR LF kept")
        << m_saveDir.filePath(QStringLiteral(u"报告.txt")) << true;
    QTest::newRow("Saving into a missing folder says why and leaves nothing")
        << m_saveDir.filePath(QStringLiteral(u"没有的文件夹/报告.txt")) << false;
}

void TestLauncherReport::savingTheReport()
{
    QFETCH(QString, answer);
    QFETCH(bool, saved);

    // Control characters from a binary file are kept as they are, unlike in the box.
    const QString report =
        expected::reportHeader(QStringLiteral(u"/数据")) +
        expected::hitEntry(QStringLiteral(u"会议.txt"), QStringLiteral(u"查找\x01\x1b[0m"));
    m_form->setReport(report, {});
    m_dialogs->savePaths = {answer};

    // Right click, then the item below Qt's own ones.
    QTest::mouseClick(window(), Qt::RightButton, {}, m_box->geometry().center());
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu->findChild<QAction *>(QStringLiteral("edit-copy")));
    QVERIFY(menu->findChild<QAction *>(QStringLiteral("select-all")));
    QAction *save = menu->actions().last();
    QCOMPARE(save->text(), QStringLiteral(u"保存报告…"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(save).center());

    QTRY_COMPARE(m_dialogs->suggestedPaths.size(), 1);
    QCOMPARE(m_dialogs->suggestedPaths.first(),
             QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                 .filePath(QStringLiteral(u"查找报告.txt")));
    QFile file(answer);
    if (saved) {
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + report.toUtf8());
    } else {
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().startsWith(QStringLiteral(u"无法保存报告：")) &&
                     m_dialogs->messages.first().size() > 7,
                 qPrintable(m_dialogs->messages.first()));
    }
    // Nothing else is left beside the saved file, no temporary file either.
    const QStringList left = QDir(m_saveDir.path()).entryList(QDir::Files);
    QCOMPARE(left, saved ? QStringList{QStringLiteral(u"报告.txt")} : QStringList{});
    QVERIFY(file.remove() || !saved);
}

QTEST_MAIN(TestLauncherReport)
#include "tst_launcher_report.moc"

// Names that hold line ends, a paragraph separator or a right-to-left override, on disk and as
// members of an archive, are shown escaped on their own entry line: no line of the report starts
// an entry of its own making, and Enter on the escaped entry still opens the file by its name.
void TestLauncherReport::namesCannotForgeEntries()
{
    const QString indent(26, u' ');
    const QString forged = QStringLiteral(u"y.txt\r\n") + indent +
                           QStringLiteral(u"合同.docx：\r\n") + QString(40, u' ') +
                           QStringLiteral(u"伪造摘要");
    const QString reversed = QStringLiteral(u"rlo\u202Etxt.exe");
    FakeEntryList list;
    list.folder = m_dir.path();
    for (const QString &name : {forged, reversed}) {
        QVERIFY(writeFile(m_dir.filePath(name), QStringLiteral(u"文件里的关键字").toUtf8()));
        list.entries.append({name, true});
    }
    const QString archive = m_dir.filePath(QStringLiteral("forged.zip"));
    QFile::remove(archive);
    QVERIFY(QFile::copy(QStringLiteral(QUARLEX_ARCHIVES_DIR "/forged-names.zip"), archive));
    list.entries.append({QStringLiteral("forged.zip"), true});
    search::SearchRun run(
        search::RunSnapshot::take(list), [] { return QStringLiteral(u"关键字"); }, [] {});
    run.run();
    QCOMPARE(run.hits().size(), 5);
    m_form->setReport(run.reportText(), run.hits());

    const QString escapedForged = QStringLiteral(u"y.txt\\r\\n") + indent +
                                  QStringLiteral(u"合同.docx：\\r\\n") + QString(40, u' ') +
                                  QStringLiteral(u"伪造摘要");
    const QStringList names = {escapedForged, QStringLiteral(u"rlo\\u202Etxt.exe"),
                               QStringLiteral(u"forged.zip/") + escapedForged,
                               QStringLiteral(u"forged.zip/段\\u2029落.txt"),
                               QStringLiteral(u"forged.zip/rlo\\u202Etxt.exe")};
    // Every entry is the two lines of a hit; the text a saved report keeps is the same.
    const QStringList lines = run.reportText().split(QStringLiteral("\r\n"));
    for (const QString &name : names)
        QVERIFY2(run.reportText().contains(indent + name + u'：'), qPrintable(name));
    for (const QString &line : lines) {
        QVERIFY2(!line.contains(u'\r') && !line.contains(u'\n') && !line.contains(u'\u2029') &&
                     !line.contains(u'\u202E'),
                 qPrintable(line));
        QVERIFY2(!line.startsWith(indent + QStringLiteral(u"合同.docx")), qPrintable(line));
    }

    QTextBlock block = m_box->document()->begin();
    while (block.isValid() && block.text() != indent + names.at(1) + u'：')
        block = block.next();
    QVERIFY2(block.isValid(), qPrintable(m_box->toPlainText()));
    m_box->setFocus();
    m_box->setTextCursor(QTextCursor(block));
    QTest::keyClick(m_box, Qt::Key_Return);
    QTRY_COMPARE(m_shell.requests.size(), 1);
    QCOMPARE(m_shell.requests.first().file, reversed);
}
