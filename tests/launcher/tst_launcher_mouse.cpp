#include "launcher_fixture.h"

// What the mouse does on the launcher: dragging it, the clicks of its labels, and ending the
// program by "X" or by the window manager.
class TestLauncherMouse : public LauncherFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { setUpApplication(); }
    void init() { QVERIFY(setUpLauncher()); }
    void cleanup() { tearDownLauncher(); }

    void drag_data();
    void drag();
    void clicks_data();
    void clicks();
    void ending_data();
    void ending();
};

void TestLauncherMouse::drag_data()
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

void TestLauncherMouse::drag()
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

void TestLauncherMouse::clicks_data()
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

void TestLauncherMouse::clicks()
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

void TestLauncherMouse::ending_data()
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

void TestLauncherMouse::ending()
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

QTEST_MAIN(TestLauncherMouse)
#include "tst_launcher_mouse.moc"
