#pragma once

#include "launcher/keyword_prompt.h"
#include "launcher/launcher_window.h"
#include "launcher_fakes.h"
#include "platform/widgets/fonts.h"

#include <QStandardPaths>
#include <QTest>
#include <QWindow>

#include <memory>

// A point of the launcher where no control lies: between the title and "Mix".
inline const QPoint bareWindow(350, 30);

// The base of the launcher window tests: a fresh launcher, shown on the offscreen platform, with
// fake dialogs and a fake chooser that write to one log.
class LauncherFixture : public QObject
{
protected:
    static void setUpApplication()
    {
        QStandardPaths::setTestModeEnabled(true);
        platform::registerFontSubstitutes();
    }

    // Call from init(); false when the window did not come up.
    [[nodiscard]] bool setUpLauncher()
    {
        m_log.clear();
        m_dialogs = std::make_unique<FakeDialogs>(&m_log);
        m_prompt = std::make_unique<launcher::KeywordPrompt>(*m_dialogs);
        m_chooser = std::make_unique<FakeChooserHost>(m_log);
        m_form = std::make_unique<launcher::Form1>(*m_prompt,
                                                   [this] { m_log << QStringLiteral("end"); });
        m_form->setChooserHost(m_chooser.get());
        m_form->show();
        return QTest::qWaitForWindowExposed(m_form.get());
    }

    void tearDownLauncher()
    {
        m_form.reset();
        m_chooser.reset();
        m_prompt.reset();
        m_dialogs.reset();
    }

    QWidget *control(const QString &name) const
    {
        return m_form->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    }

    // The centre of a control, or the bare window for "bare", in window coordinates.
    QPoint pointOf(const QString &name) const
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

    QWindow *window() const { return m_form->windowHandle(); }

    QStringList m_log;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<launcher::KeywordPrompt> m_prompt;
    std::unique_ptr<FakeChooserHost> m_chooser;
    std::unique_ptr<launcher::Form1> m_form;
};
