#include "platform/widgets/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using DialogAction = std::function<void(QWidget *dialog)>;

// Runs `action` on the next modal dialog as soon as it is up, from inside its event loop, the
// way a person answers it.
void answerNextDialog(QObject *context, DialogAction action)
{
    auto *poll = new QTimer(context);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, context, [poll, action] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(dialog);
    });
    poll->start();
    // A dialog that the action failed to dismiss must not hang the test.
    QTimer::singleShot(10000, context, [] {
        if (QWidget *dialog = QApplication::activeModalWidget())
            dialog->close();
    });
}

QPushButton *buttonWithText(QWidget *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == text && button->isVisible())
            return button;
    }
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(DialogAction)

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textPromptAnswers_data();
    void textPromptAnswers();
    void criticalMessageIsDismissedWithItsOkButton();
    void saveDialogStartsAtTheSuggestedFileAndGivesTheChosenPath();
};

void TestDialogs::textPromptAnswers_data()
{
    QTest::addColumn<DialogAction>("answer");
    QTest::addColumn<QString>("expected");

    const auto typeAndAccept = [](const QString &text) {
        return DialogAction([text](QWidget *dialog) {
            auto *edit = dialog->findChild<QLineEdit *>();
            // Key presses that carry their text, as a keyboard layout that produces the
            // characters directly sends them.
            for (const QChar c : text)
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), {});
            QTest::mouseClick(buttonWithText(dialog, QStringLiteral(u"确定")), Qt::LeftButton);
        });
    };
    QTest::newRow("Typed text comes back as typed, spaces kept")
        << typeAndAccept(QStringLiteral("  two words ")) << QStringLiteral("  two words ");
    QTest::newRow("Spaces only come back as spaces")
        << typeAndAccept(QStringLiteral("   ")) << QStringLiteral("   ");
    QTest::newRow("Chinese characters typed one by one come back whole")
        << typeAndAccept(QStringLiteral(u"关键字")) << QStringLiteral(u"关键字");
    QTest::newRow("A Chinese word composed with an input method comes back")
        << DialogAction([](QWidget *dialog) {
               auto *edit = dialog->findChild<QLineEdit *>();
               QInputMethodEvent composing(QStringLiteral("sousuo"), {});
               QApplication::sendEvent(edit, &composing);
               QInputMethodEvent commit;
               commit.setCommitString(QStringLiteral(u"搜索"));
               QApplication::sendEvent(edit, &commit);
               QTest::keyClick(edit, Qt::Key_Return);
           })
        << QStringLiteral(u"搜索");
    QTest::newRow("A pasted Chinese keyword comes back") << DialogAction([](QWidget *dialog) {
        QGuiApplication::clipboard()->setText(QStringLiteral(u"粘贴的关键字"));
        auto *edit = dialog->findChild<QLineEdit *>();
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QTest::mouseClick(buttonWithText(dialog, QStringLiteral(u"确定")), Qt::LeftButton);
    }) << QStringLiteral(u"粘贴的关键字");
    QTest::newRow("OK on the empty field gives the empty string")
        << DialogAction([](QWidget *dialog) {
               QTest::mouseClick(buttonWithText(dialog, QStringLiteral(u"确定")), Qt::LeftButton);
           })
        << QString();
    QTest::newRow("Cancel gives the empty string, whatever was typed")
        << DialogAction([](QWidget *dialog) {
               QTest::keyClicks(dialog->findChild<QLineEdit *>(), QStringLiteral("typed"));
               QTest::mouseClick(buttonWithText(dialog, QStringLiteral(u"取消")), Qt::LeftButton);
           })
        << QString();
    QTest::newRow("Escape gives the empty string") << DialogAction([](QWidget *dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit *>(), QStringLiteral("typed"));
        QTest::keyClick(dialog, Qt::Key_Escape);
    }) << QString();
    QTest::newRow("Closing the dialog gives the empty string") << DialogAction([](QWidget *dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit *>(), QStringLiteral("typed"));
        dialog->close();
    }) << QString();
}

void TestDialogs::textPromptAnswers()
{
    QFETCH(DialogAction, answer);
    QFETCH(QString, expected);

    QWidget parent;
    parent.show();
    QString title;
    QString label;
    QString initial;
    bool inputMethod = false;
    QStringList buttons;
    answerNextDialog(this, [&](QWidget *dialog) {
        title = dialog->windowTitle();
        label = dialog->findChild<QLabel *>()->text();
        initial = dialog->findChild<QLineEdit *>()->text();
        // Chinese is typed through an input method: the field must take its text.
        inputMethod = dialog->findChild<QLineEdit *>()->testAttribute(Qt::WA_InputMethodEnabled);
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            buttons << button->text();
        answer(dialog);
    });

    platform::QtDialogs dialogs;
    const QString result =
        dialogs.textPrompt(&parent, QStringLiteral("Quarlex"), QStringLiteral(u"请输入关键字：？"));

    QCOMPARE(result, expected);
    QCOMPARE(title, QStringLiteral("Quarlex"));
    QCOMPARE(label, QStringLiteral(u"请输入关键字：？"));
    QVERIFY(initial.isEmpty());
    QVERIFY(inputMethod);
    buttons.sort();
    QCOMPARE(buttons, QStringList({QStringLiteral(u"取消"), QStringLiteral(u"确定")}));
}

void TestDialogs::criticalMessageIsDismissedWithItsOkButton()
{
    QWidget parent;
    parent.show();
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    bool modal = false;
    bool messageBox = false;
    answerNextDialog(this, [&](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        messageBox = box != nullptr;
        if (!box) {
            dialog->close();
            return;
        }
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        modal = box->isModal();
        for (QAbstractButton *button : box->buttons())
            buttons << button->text();
        QTest::mouseClick(buttonWithText(box, QStringLiteral(u"确定")), Qt::LeftButton);
    });

    platform::QtDialogs dialogs;
    dialogs.criticalMessage(&parent, QStringLiteral("Quarlex"),
                            QStringLiteral(u"关键字为空！！！"));

    QVERIFY(messageBox);
    QCOMPARE(title, QStringLiteral("Quarlex"));
    QCOMPARE(text, QStringLiteral(u"关键字为空！！！"));
    QCOMPARE(icon, QMessageBox::Critical);
    QVERIFY(modal);
    QCOMPARE(buttons, QStringList{QStringLiteral(u"确定")});
}

void TestDialogs::saveDialogStartsAtTheSuggestedFileAndGivesTheChosenPath()
{
    QTemporaryDir folder;
    QWidget parent;
    parent.show();
    QString title;
    QString name;
    answerNextDialog(this, [&](QWidget *dialog) {
        title = dialog->windowTitle();
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name = edit->text();
        // Typing over the suggested name, as a person does.
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("other.txt"));
        QTest::mouseClick(buttonWithText(dialog, QStringLiteral(u"保存")), Qt::LeftButton);
    });

    platform::QtDialogs dialogs;
    const QString chosen = dialogs.saveFileName(&parent, QStringLiteral(u"保存报告"),
                                                folder.filePath(QStringLiteral(u"查找报告.txt")),
                                                QStringLiteral(u"文本文件 (*.txt)"));

    QCOMPARE(title, QStringLiteral(u"保存报告"));
    QCOMPARE(name, QStringLiteral(u"查找报告.txt"));
    QCOMPARE(chosen, folder.filePath(QStringLiteral("other.txt")));
}

QTEST_MAIN(TestDialogs)
#include "tst_widgets_dialogs.moc"
