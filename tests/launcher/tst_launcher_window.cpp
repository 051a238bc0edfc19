#include "launcher/keyword_prompt.h"
#include "launcher/launcher_window.h"
#include "launcher_fakes.h"
#include "platform/widgets/cursors.h"
#include "platform/widgets/fonts.h"

#include <QApplication>
#include <QBitmap>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

#include <functional>
#include <memory>

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

// A point of the window where no control lies: between the title and "Mix".
const QPoint bareWindow(350, 30);

} // namespace

class TestLauncherWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void windowProperties();
    void controls_data();
    void controls();
    void hoverColours_data();
    void hoverColours();
    void drag_data();
    void drag();
    void clicks_data();
    void clicks();
    void ending_data();
    void ending();
    void report_data();
    void report();
    void reportCanBeCopiedButNotEdited();

private:
    QWidget *control(const QString &name) const;
    // The centre of a control, or the bare window for "bare", in window coordinates.
    QPoint pointOf(const QString &name) const;
    QWindow *window() const { return m_form->windowHandle(); }

    QStringList m_log;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<KeywordPrompt> m_prompt;
    std::unique_ptr<FakeChooserHost> m_chooser;
    std::unique_ptr<Form1> m_form;
};

void TestLauncherWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    platform::registerFontSubstitutes();
}

void TestLauncherWindow::init()
{
    m_log.clear();
    m_dialogs = std::make_unique<FakeDialogs>(m_log);
    m_prompt = std::make_unique<KeywordPrompt>(*m_dialogs);
    m_chooser = std::make_unique<FakeChooserHost>(m_log);
    m_form = std::make_unique<Form1>(*m_prompt, [this] { m_log << QStringLiteral("end"); });
    m_form->setChooserHost(m_chooser.get());
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestLauncherWindow::cleanup()
{
    m_form.reset();
    m_chooser.reset();
    m_prompt.reset();
    m_dialogs.reset();
}

QWidget *TestLauncherWindow::control(const QString &name) const
{
    return m_form->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
}

QPoint TestLauncherWindow::pointOf(const QString &name) const
{
    if (name == u"bare") {
        if (m_form->childAt(bareWindow))
            qFatal("the test's bare point lies on a control");
        return bareWindow;
    }
    QWidget *widget = control(name);
    if (!widget)
        qFatal("no control %s", qPrintable(name));
    return widget->geometry().center();
}

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

void TestLauncherWindow::drag_data()
{
    QTest::addColumn<QString>("pressOn");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("moves");

    QTest::newRow("Dragging the title moves the window")
        << QStringLiteral("Label4") << Qt::LeftButton << true;
    QTest::newRow("Dragging the bare background moves the window")
        << QStringLiteral("bare") << Qt::LeftButton << true;
    QTest::newRow("Pressing on Mix and moving leaves the window in place")
        << QStringLiteral("Label1") << Qt::LeftButton << false;
    QTest::newRow("Pressing on 口 and moving leaves the window in place")
        << QStringLiteral("Label2") << Qt::LeftButton << false;
    QTest::newRow("Pressing on X and moving leaves the window in place")
        << QStringLiteral("Label3") << Qt::LeftButton << false;
    QTest::newRow("Pressing on the search label and moving leaves the window in place")
        << QStringLiteral("Command1") << Qt::LeftButton << false;
    QTest::newRow("Dragging the title with the right button leaves the window in place")
        << QStringLiteral("Label4") << Qt::RightButton << false;
    QTest::newRow("Dragging the background with the right button leaves the window in place")
        << QStringLiteral("bare") << Qt::RightButton << false;
}

void TestLauncherWindow::drag()
{
    QFETCH(QString, pressOn);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, moves);

    const QPoint start = m_form->pos();
    const QPoint press = pointOf(pressOn);
    const QPoint pressGlobal = window()->mapToGlobal(press);
    QTest::mousePress(window(), button, {}, press);
    const QList<QPoint> steps{{5, 3}, {20, 12}, {40, 25}};
    for (const QPoint &step : steps)
        QTest::mouseMove(window(), window()->mapFromGlobal(pressGlobal + step));
    QTest::mouseRelease(window(), button, {}, window()->mapFromGlobal(pressGlobal + steps.last()));

    // The window keeps the pressed point under the mouse.
    QCOMPARE(m_form->pos(), moves ? start + steps.last() : start);
    QVERIFY(!m_form->isMinimized());
    QVERIFY(m_log.isEmpty());

    // The drag is over: moving without a button does not move the window any more.
    const QPoint after = m_form->pos();
    QTest::mouseMove(window(), bareWindow);
    QTest::mouseMove(window(), bareWindow + QPoint(30, 30));
    QCOMPARE(m_form->pos(), after);
}

void TestLauncherWindow::clicks_data()
{
    QTest::addColumn<QString>("pressOn");
    QTest::addColumn<QString>("releaseOn");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("minimised");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("Clicking Mix minimises the launcher")
        << QStringLiteral("Label1") << QStringLiteral("Label1") << Qt::LeftButton << true
        << QStringList();
    QTest::newRow("Clicking 口 does nothing")
        << QStringLiteral("Label2") << QStringLiteral("Label2") << Qt::LeftButton << false
        << QStringList();
    QTest::newRow("Clicking the title does nothing")
        << QStringLiteral("Label4") << QStringLiteral("Label4") << Qt::LeftButton << false
        << QStringList();
    QTest::newRow("Clicking the bare window does nothing")
        << QStringLiteral("bare") << QStringLiteral("bare") << Qt::LeftButton << false
        << QStringList();
    QTest::newRow("Pressing Mix and releasing over the bare window does not minimise")
        << QStringLiteral("Label1") << QStringLiteral("bare") << Qt::LeftButton << false
        << QStringList();
    QTest::newRow("Pressing X and releasing over the bare window does not end the program")
        << QStringLiteral("Label3") << QStringLiteral("bare") << Qt::LeftButton << false
        << QStringList();
    QTest::newRow("Pressing the search label and releasing over X does nothing")
        << QStringLiteral("Command1") << QStringLiteral("Label3") << Qt::LeftButton << false
        << QStringList();
    QTest::newRow("A right click on X does not end the program")
        << QStringLiteral("Label3") << QStringLiteral("Label3") << Qt::RightButton << false
        << QStringList();
    QTest::newRow("A right click on Mix does not minimise")
        << QStringLiteral("Label1") << QStringLiteral("Label1") << Qt::RightButton << false
        << QStringList();
    QTest::newRow("A right click on the search label does not ask for the keyword")
        << QStringLiteral("Command1") << QStringLiteral("Command1") << Qt::RightButton << false
        << QStringList();
    QTest::newRow("Clicking X ends the program")
        << QStringLiteral("Label3") << QStringLiteral("Label3") << Qt::LeftButton << false
        << QStringList{QStringLiteral("end")};
    QTest::newRow("Clicking the search label asks for the keyword")
        << QStringLiteral("Command1") << QStringLiteral("Command1") << Qt::LeftButton << false
        << QStringList{QStringLiteral("prompt"), QStringLiteral("message")};
}

void TestLauncherWindow::clicks()
{
    QFETCH(QString, pressOn);
    QFETCH(QString, releaseOn);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, minimised);
    QFETCH(QStringList, log);

    const QPoint start = m_form->pos();
    QTest::mousePress(window(), button, {}, pointOf(pressOn));
    QTest::mouseRelease(window(), button, {}, pointOf(releaseOn));

    QTRY_COMPARE(m_form->isMinimized(), minimised);
    QCOMPARE(m_log, log);
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_form->pos(), start);
}

void TestLauncherWindow::ending_data()
{
    QTest::addColumn<bool>("byWindowManager"); // or by clicking "X"
    QTest::addColumn<bool>("chooserWired");
    QTest::addColumn<bool>("chooserLoaded");
    QTest::addColumn<QStringList>("log");

    const QStringList unloadThenEnd{QStringLiteral("unload chooser"), QStringLiteral("end")};
    const QStringList endOnly{QStringLiteral("end")};
    QTest::newRow("X with the chooser loaded unloads it first, then ends the program")
        << false << true << true << unloadThenEnd;
    QTest::newRow("X when the chooser was never loaded ends the program at once")
        << false << true << false << endOnly;
    QTest::newRow("X before any chooser exists ends the program")
        << false << false << false << endOnly;
    QTest::newRow("Closing by the window manager with the chooser loaded is X")
        << true << true << true << unloadThenEnd;
    QTest::newRow("Closing by the window manager without a loaded chooser is X")
        << true << true << false << endOnly;
}

void TestLauncherWindow::ending()
{
    QFETCH(bool, byWindowManager);
    QFETCH(bool, chooserWired);
    QFETCH(bool, chooserLoaded);
    QFETCH(QStringList, log);

    m_chooser->loaded = chooserLoaded;
    if (!chooserWired)
        m_form->setChooserHost(nullptr);

    if (byWindowManager)
        QVERIFY(!window()->close()); // the request the window manager sends, as for Alt+F4
    else
        QTest::mouseClick(window(), Qt::LeftButton, {}, pointOf(QStringLiteral("Label3")));

    QCOMPARE(m_log, log);
    QVERIFY(!m_chooser->loaded);
    // Ending is the only way out: the window is not merely hidden.
    QVERIFY(m_form->isVisible());
}

void TestLauncherWindow::report_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("lines");

    QTest::newRow("CR LF ends a line, as in the report's header")
        << QStringLiteral("\r\n  /tmp/data/\r\n\r\n\r\n") << QStringLiteral("\n  /tmp/data/\n\n\n")
        << 5;
    const QString spaces26(26, u' ');
    const QString spaces40(40, u' ');
    QTest::newRow("Full-width characters are shown as they are")
        << spaces26 + QStringLiteral(u"笔记．ｔｘｔ：\r\n\r\n") + spaces40 +
               QStringLiteral(u"在这里找到关键字。...\r\n\r\n")
        << spaces26 + QStringLiteral(u"笔记．ｔｘｔ：\n\n") + spaces40 +
               QStringLiteral(u"在这里找到关键字。...\n\n")
        << 5;
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
    m_form->setReport(QStringLiteral("an earlier report\r\n"));
    search::ReportSink &sink = *m_form;
    sink.setReport(report);

    QCOMPARE(m_form->report(), report);
    // Every character is in the box, and only the new report.
    QCOMPARE(text1->toPlainText(), shown);
    QCOMPARE(text1->blockCount(), lines);
}

void TestLauncherWindow::reportCanBeCopiedButNotEdited()
{
    auto *text1 = m_form->findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    QVERIFY(text1);
    m_form->setReport(QStringLiteral(u"\r\n  /tmp/数据/\r\n\r\n\r\n"));
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
