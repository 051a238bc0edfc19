#include "launcher_fixture.h"
#include "platform/widgets/cursors.h"
#include "support/report_entries.h"

#include <QApplication>
#include <QBitmap>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>

#include <functional>

using CursorFactory = std::function<QCursor()>;
Q_DECLARE_METATYPE(CursorFactory)

namespace {

// Colours of the labels as the launcher's colour table gives them.
QColor normalColour(const QString &name)
{
    if (name == u"Label4")
        return QColor(255, 128, 128);
    if (name == u"Command1")
        return QGuiApplication::palette().color(QPalette::Button);
    return QColor(0, 0, 200);
}

QColor hoverColour(const QString &name)
{
    if (name == u"Label4")
        return QColor(100, 100, 255);
    if (name == u"Command1")
        return QColor(255, 255, 0);
    return QColor(0, 100, 200);
}

const QStringList colouredControls{QStringLiteral("Label1"), QStringLiteral("Label2"),
                                   QStringLiteral("Label3"), QStringLiteral("Label4"),
                                   QStringLiteral("Command1")};

} // namespace

// How the launcher looks: its frame, its controls with their fonts and pointers, the colours
// under the mouse, and the report box.
class TestLauncherWindow : public LauncherFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { setUpApplication(); }
    void init() { QVERIFY(setUpLauncher()); }
    void cleanup() { tearDownLauncher(); }

    void windowProperties();
    void controls_data();
    void controls();
    void hoverColours_data();
    void hoverColours();
    void report_data();
    void report();
    void reportCanBeCopiedButNotEdited();
};

void TestLauncherWindow::windowProperties()
{
    QVERIFY(m_form->isWindow());
    QVERIFY(m_form->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(m_form->windowTitle(), QStringLiteral(u"Quarlex - 批量查找"));
    // The client area, 9405 x 6300 twips.
    QCOMPARE(m_form->size(), QSize(627, 420));
    QVERIFY(m_form->autoFillBackground());
    QCOMPARE(m_form->palette().color(QPalette::Window), QColor(Qt::black));
    QVERIFY(m_form->windowIcon().availableSizes().contains(QSize(48, 48)));
    QVERIFY(m_form->hasMouseTracking());
    for (const QString &name : colouredControls)
        QVERIFY2(control(name)->hasMouseTracking(), qPrintable(name));
    // Every control starts in its normal colour.
    for (const QString &name : colouredControls)
        QCOMPARE(control(name)->palette().color(QPalette::WindowText), normalColour(name));

    auto *text1 = qobject_cast<QPlainTextEdit *>(control(QStringLiteral("Text1")));
    QVERIFY(text1);
    QVERIFY(text1->isReadOnly());
    QCOMPARE(text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(text1->palette().color(QPalette::Base), QColor(Qt::black));
    QCOMPARE(text1->palette().color(QPalette::Text), QColor(255, 255, 0));
    QVERIFY(text1->toPlainText().isEmpty());
}

void TestLauncherWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");  // twips / 15
    QTest::addColumn<qreal>("pointSize"); // 0: the system's default font
    QTest::addColumn<bool>("bold");
    QTest::addColumn<CursorFactory>("pointer"); // empty: the default pointer
    QTest::addColumn<int>("depth");             // 0 is the frontmost control

    QTest::newRow("The report box is the large frontmost box below the caption strip")
        << QStringLiteral("Text1") << QString() << QRect(24, 80, 577, 321) << 0.0 << false
        << CursorFactory() << 0;
    QTest::newRow("The search label is under the title, 12 pt, with the hand")
        << QStringLiteral("Command1") << QStringLiteral(u"。。。Zorvik") << QRect(24, 48, 113, 25)
        << 12.0 << false << CursorFactory(&platform::handCursor) << 1;
    QTest::newRow("The title is bold 14.25 pt at the top left, with the move arrows")
        << QStringLiteral("Label4") << QStringLiteral(u"标题：Quarlex - 批量搜索")
        << QRect(16, 16, 249, 25) << 14.25 << true << CursorFactory(&platform::moveCursor) << 2;
    QTest::newRow("X is at the top right, 14.25 pt, with the hand")
        << QStringLiteral("Label3") << QStringLiteral("X") << QRect(568, 16, 33, 25) << 14.25
        << false << CursorFactory(&platform::handCursor) << 3;
    QTest::newRow("口 sits higher, 21.75 pt, with the unavailable sign")
        << QStringLiteral("Label2") << QStringLiteral(u"口") << QRect(512, 8, 33, 25) << 21.75
        << false << CursorFactory(&platform::unavailableCursor) << 4;
    QTest::newRow("Mix is left of 口, 14.25 pt, with the hand, hindmost")
        << QStringLiteral("Label1") << QStringLiteral("Mix") << QRect(456, 16, 33, 25) << 14.25
        << false << CursorFactory(&platform::handCursor) << 5;
}

void TestLauncherWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    QFETCH(qreal, pointSize);
    QFETCH(bool, bold);
    QFETCH(CursorFactory, pointer);
    QFETCH(int, depth);

    QWidget *widget = control(name);
    QVERIFY(widget);
    QVERIFY(widget->isVisible());
    QCOMPARE(widget->geometry(), geometry);

    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(!label->autoFillBackground()); // transparent on the black window
    } else {
        QVERIFY(caption.isEmpty());
    }

    const QFont font = widget->font();
    if (pointSize > 0) {
        QCOMPARE(font.family(), QStringLiteral(u"华文新魏"));
        QCOMPARE(font.pointSizeF(), pointSize);
        QCOMPARE(font.bold(), bold);
        // The brush-style substitute is the face actually used, and it has every character of
        // the caption: no empty boxes.
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("AR PL UKai CN"));
        const QFontMetrics metrics(font);
        for (const char32_t c : caption.toUcs4())
            QVERIFY2(metrics.inFontUcs4(c), qPrintable(QString::number(c, 16)));
    } else {
        QCOMPARE(font, QApplication::font());
    }

    if (pointer) {
        const QCursor expected = pointer();
        QCOMPARE(widget->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(widget->cursor().hotSpot(), expected.hotSpot());
        QCOMPARE(widget->cursor().bitmap().toImage(), expected.bitmap().toImage());
        QCOMPARE(widget->cursor().mask().toImage(), expected.mask().toImage());
    } else {
        QVERIFY(!widget->testAttribute(Qt::WA_SetCursor));
    }

    // Children are stacked in list order, the last one drawn on top.
    QStringList backToFront;
    for (QObject *child : m_form->children()) {
        if (child->isWidgetType() && !child->objectName().isEmpty())
            backToFront << child->objectName();
    }
    QCOMPARE(backToFront.size(), 6);
    QCOMPARE(backToFront.size() - 1 - backToFront.indexOf(name), depth);
}

void TestLauncherWindow::hoverColours_data()
{
    QTest::addColumn<QStringList>("path"); // controls the mouse moves over, in order
    QTest::addColumn<QStringList>("lit");  // controls left in their hover colour

    QTest::newRow("Moving onto Mix lights it")
        << QStringList{QStringLiteral("Label1")} << QStringList{QStringLiteral("Label1")};
    QTest::newRow("Moving onto 口 lights it")
        << QStringList{QStringLiteral("Label2")} << QStringList{QStringLiteral("Label2")};
    QTest::newRow("Moving onto X lights it")
        << QStringList{QStringLiteral("Label3")} << QStringList{QStringLiteral("Label3")};
    QTest::newRow("Moving onto the title turns it blue")
        << QStringList{QStringLiteral("Label4")} << QStringList{QStringLiteral("Label4")};
    QTest::newRow("Moving onto the search label turns it yellow")
        << QStringList{QStringLiteral("Command1")} << QStringList{QStringLiteral("Command1")};
    QTest::newRow("Moving from Mix to the bare window restores Mix")
        << QStringList{QStringLiteral("Label1"), QStringLiteral("bare")} << QStringList();
    QTest::newRow("Crossing the bare window from Mix to X leaves only X lit")
        << QStringList{QStringLiteral("Label1"), QStringLiteral("bare"), QStringLiteral("Label3")}
        << QStringList{QStringLiteral("Label3")};
    QTest::newRow("The bare window restores every lit control at once")
        << QStringList{QStringLiteral("Label1"),   QStringLiteral("Label2"),
                       QStringLiteral("Label3"),   QStringLiteral("Label4"),
                       QStringLiteral("Command1"), QStringLiteral("bare")}
        << QStringList();
}

void TestLauncherWindow::hoverColours()
{
    QFETCH(QStringList, path);
    QFETCH(QStringList, lit);

    for (const QString &step : path)
        QTest::mouseMove(window(), pointOf(step));

    for (const QString &name : colouredControls) {
        const QColor expected = lit.contains(name) ? hoverColour(name) : normalColour(name);
        QVERIFY2(control(name)->palette().color(QPalette::WindowText) == expected,
                 qPrintable(name));
    }
}

void TestLauncherWindow::report_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("lines");

    QTest::newRow("CR LF ends a line, as in the report's header")
        << expected::reportHeader(QStringLiteral("/tmp/data"))
        << QStringLiteral("\n  /tmp/data/\n\n\n") << 5;
    const QString entry =
        expected::hitEntry(QStringLiteral(u"笔记．ｔｘｔ"), QStringLiteral(u"在这里找到关键字。"));
    QTest::newRow("Full-width characters are shown as they are")
        << entry << expected::shownInTheBox(entry) << 5;
    QTest::newRow("A NUL character does not cut the text short")
        << QStringLiteral("before") + QChar(0) + QStringLiteral("after")
        << QStringLiteral(u"before\u2400after") << 1;
    QTest::newRow("Escape, bell and delete are shown as their pictures")
        << QStringLiteral("a\x1b[1mb\x07"
                          "c\x7f")
        << QStringLiteral(u"a\u241b[1mb\u2407c\u2421") << 1;
    QTest::newRow("Tabs stay tabs") << QStringLiteral("a\tb") << QStringLiteral("a\tb") << 1;
    QString longReport;
    QString longShown;
    for (int i = 0; i < 20000; ++i) {
        longReport +=
            QStringLiteral("line %1 ").arg(i) + QString(60, u'字') + QStringLiteral("\r\n");
        longShown += QStringLiteral("line %1 ").arg(i) + QString(60, u'字') + QStringLiteral("\n");
    }
    QTest::newRow("A long report is kept whole") << longReport << longShown << 20001;
}

void TestLauncherWindow::report()
{
    QFETCH(QString, report);
    QFETCH(QString, shown);
    QFETCH(int, lines);

    auto *text1 = m_form->findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    QVERIFY(text1);
    m_form->setReport(QStringLiteral("an earlier report\r\n"), {});
    search::ReportSink &sink = *m_form;
    sink.setReport(report, {});

    QCOMPARE(m_form->report(), report);
    // Every character is in the box, and only the new report.
    QCOMPARE(text1->toPlainText(), shown);
    QCOMPARE(text1->blockCount(), lines);
}

void TestLauncherWindow::reportCanBeCopiedButNotEdited()
{
    auto *text1 = m_form->findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    QVERIFY(text1);
    m_form->setReport(QStringLiteral(u"\r\n  /tmp/数据/\r\n\r\n\r\n"), {});
    QGuiApplication::clipboard()->clear();

    QTest::mouseClick(text1->viewport(), Qt::LeftButton);
    QTRY_VERIFY(text1->hasFocus());
    QTest::keyClick(text1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(text1, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral(u"\n  /tmp/数据/\n\n\n"));

    QTest::keyClicks(text1, QStringLiteral("typed"));
    QTest::keyClick(text1, Qt::Key_Backspace);
    QTest::keyClick(text1, Qt::Key_Delete);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClick(text1, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(text1->toPlainText(), QStringLiteral(u"\n  /tmp/数据/\n\n\n"));
    QCOMPARE(m_form->report(), QStringLiteral(u"\r\n  /tmp/数据/\r\n\r\n\r\n"));
}

QTEST_MAIN(TestLauncherWindow)
#include "tst_launcher_window.moc"
