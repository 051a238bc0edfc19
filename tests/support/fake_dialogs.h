#pragma once

#include "platform/widgets/dialogs.h"

#include <QStringList>

// Answers prompts from a queue and writes down every dialog it was asked to show.
class FakeDialogs : public platform::Dialogs
{
public:
    // With a log, each dialog also adds "prompt", "message" or "save" to it, so that a test can
    // check the order of the dialogs among the calls of other fakes writing to the same log.
    explicit FakeDialogs(QStringList *log = nullptr) : m_log(log) {}

    QString textPrompt(QWidget *parent, const QString &title, const QString &prompt) override
    {
        note(QStringLiteral("prompt"), parent, title);
        prompts.append(prompt);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void criticalMessage(QWidget *parent, const QString &title, const QString &text) override
    {
        note(QStringLiteral("message"), parent, title);
        messages.append(text);
    }

    QString saveFileName(QWidget *parent, const QString &title, const QString &suggestedPath,
                         const QString &filter) override
    {
        note(QStringLiteral("save"), parent, title);
        suggestedPaths.append(suggestedPath);
        filters.append(filter);
        return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
    }

    QStringList answers;        // what the next prompts return; Cancel is the empty string
    QStringList prompts;        // the prompt text of each prompt shown
    QStringList messages;       // the text of each message shown
    QStringList savePaths;      // what the next save dialogs return; Cancel is the empty string
    QStringList suggestedPaths; // where each save dialog started
    QStringList filters;        // the file filter of each save dialog
    QStringList titles;         // the title of every dialog, prompts and messages in order
    QWidget *lastParent = nullptr;

private:
    void note(const QString &kind, QWidget *parent, const QString &title)
    {
        if (m_log)
            m_log->append(kind);
        titles.append(title);
        lastParent = parent;
    }

    QStringList *m_log;
};
