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
};

// The real dialogs, in Chinese whatever the locale.
class QtDialogs : public Dialogs
{
public:
    QString textPrompt(QWidget *parent, const QString &title, const QString &prompt) override;
    void criticalMessage(QWidget *parent, const QString &title, const QString &text) override;
};

} // namespace platform
