#include "launcher/keyword_prompt.h"
#include "launcher/launcher_window.h"
#include "launcher_fakes.h"
#include "platform/widgets/fonts.h"

#include <QLabel>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

// The launcher's search label: it asks for the keyword, then shows the chooser or refuses an
// empty keyword. The dialogs are answered by the test.
class TestLauncherKeyword : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void searchLabel_data();
    void searchLabel();
};

void TestLauncherKeyword::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    platform::registerFontSubstitutes();
}

void TestLauncherKeyword::searchLabel_data()
{
    QTest::addColumn<bool>("chooserOpen");
    QTest::addColumn<QString>("answer"); // empty: Cancel, or OK on an empty field
    QTest::addColumn<QStringList>("log");

    const QStringList shown{QStringLiteral("prompt"), QStringLiteral("show chooser")};
    const QStringList refused{QStringLiteral("prompt"), QStringLiteral("message")};
    QTest::newRow("A typed keyword opens the chooser")
        << false << QStringLiteral("report") << shown;
    QTest::newRow("A Chinese keyword opens the chooser")
        << false << QStringLiteral(u"关键字") << shown;
    QTest::newRow("A keyword of spaces only is not empty: it opens the chooser")
        << false << QStringLiteral("   ") << shown;
    QTest::newRow("A keyword with surrounding spaces is kept as typed")
        << false << QStringLiteral(u" 搜 索 ") << shown;
    QTest::newRow("Cancel shows the empty-keyword message and no chooser")
        << false << QString() << refused;
    QTest::newRow("A new keyword shows the open chooser again, without unloading it")
        << true << QStringLiteral("next") << shown;
    QTest::newRow("Cancel while the chooser is open leaves it open")
        << true << QString() << refused;
}

void TestLauncherKeyword::searchLabel()
{
    QFETCH(bool, chooserOpen);
    QFETCH(QString, answer);
    QFETCH(QStringList, log);

    QStringList events;
    FakeDialogs dialogs(&events);
    launcher::KeywordPrompt prompt(dialogs);
    FakeChooserHost chooser(events);
    chooser.loaded = chooserOpen;
    launcher::Form1 form(prompt, [&events] { events << QStringLiteral("end"); });
    form.setChooserHost(&chooser);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // A keyword from an earlier prompt is replaced, also by an empty answer.
    dialogs.answers = {QStringLiteral("earlier"), answer};
    prompt.AskKeyword(&form);
    events.clear();

    auto *command1 = form.findChild<QLabel *>(QStringLiteral("Command1"));
    QVERIFY(command1);
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, command1->geometry().center());

    QCOMPARE(events, log);
    QCOMPARE(prompt.StrKey(), answer);
    QCOMPARE(dialogs.titles.last(), QStringLiteral("Quarlex"));
    QCOMPARE(dialogs.lastParent, &form);
    QCOMPARE(dialogs.prompts.last(), QStringLiteral(u"请输入关键字：？"));
    if (answer.isEmpty())
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral(u"关键字为空！！！")});
    else
        QVERIFY(dialogs.messages.isEmpty());
    QCOMPARE(chooser.loaded, chooserOpen || !answer.isEmpty());
}

QTEST_MAIN(TestLauncherKeyword)
#include "tst_launcher_keyword.moc"
