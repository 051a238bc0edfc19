#pragma once

#include "platform/widgets/shell_opener.h"

#include <QList>
#include <QString>

class QWidget;

struct ShellRequest
{
    QWidget *owner;
    QString verb, file, parameters, workingFolder;
    int showState;
};

// Writes down every shell request, in order, instead of starting anything.
class FakeShell : public platform::ShellOpener
{
public:
    QList<ShellRequest> requests;
    bool open(QWidget *owner, const QString &verb, const QString &file, const QString &parameters,
              const QString &workingFolder, int showState) override
    {
        requests.append({owner, verb, file, parameters, workingFolder, showState});
        return false; // as for a type without an application: callers go on regardless
    }
};
