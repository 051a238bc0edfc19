#pragma once

#include "launcher/chooser_host.h"
#include "platform/widgets/dialogs.h"

#include <QStringList>

// Stand-ins for what the launcher talks to. Each records its calls, in order, in one shared log,
// so that tests can check both what happened and in which order.

class FakeDialogs : public platform::Dialogs
{
public:
    explicit FakeDialogs(QStringList &log) : m_log(log) {}

    QString textPrompt(QWidget *parent, const QString &title, const QString &prompt) override
    {
        m_log << QStringLiteral("prompt");
        lastParent = parent;
        lastTitle = title;
        lastPrompt = prompt;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void criticalMessage(QWidget *parent, const QString &title, const QString &text) override
    {
        m_log << QStringLiteral("message");
        lastParent = parent;
        lastTitle = title;
        lastMessage = text;
    }

    QStringList answers; // what the next prompts return, Cancel being the empty string
    QWidget *lastParent = nullptr;
    QString lastTitle;
    QString lastPrompt;
    QString lastMessage;

private:
    QStringList &m_log;
};

class FakeChooserHost : public ChooserHost
{
public:
    explicit FakeChooserHost(QStringList &log) : m_log(log) {}

    void showChooser() override
    {
        m_log << QStringLiteral("show chooser");
        loaded = true;
    }
    bool isChooserLoaded() const override { return loaded; }
    void unloadChooser() override
    {
        m_log << (loaded ? QStringLiteral("unload chooser")
                         : QStringLiteral("unload chooser that is not loaded"));
        loaded = false;
    }

    bool loaded = false;

private:
    QStringList &m_log;
};
