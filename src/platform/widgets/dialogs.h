#pragma once

#include <QString>

class QWidget;

namespace platform {

// The modal dialogs of the program, behind an interface so that tests can answer them.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // Modal text prompt with an empty field, OK and Cancel. Returns the text as typed, or an
    // empty string on Cancel or close.
    virtual QString textPrompt(QWidget *parent, const QString &title, const QString &prompt) = 0;
    // Modal message box with the critical icon and an OK button; returns when dismissed.
    virtual void criticalMessage(QWidget *parent, const QString &title, const QString &text) = 0;
    // Modal save dialog that starts at `suggestedPath` (folder and file name) and shows the
    // files matching `filter` ("文本文件 (*.txt)"). Returns the chosen path, or an empty string
    // on Cancel or close. Choosing a file that exists asks before replacing it.
    virtual QString saveFileName(QWidget *parent, const QString &title,
                                 const QString &suggestedPath, const QString &filter) = 0;
};

// The real dialogs, in Chinese whatever the locale.
class QtDialogs : public Dialogs
{
public:
    QString textPrompt(QWidget *parent, const QString &title, const QString &prompt) override;
    void criticalMessage(QWidget *parent, const QString &title, const QString &text) override;
    QString saveFileName(QWidget *parent, const QString &title, const QString &suggestedPath,
                         const QString &filter) override;
};

} // namespace platform
