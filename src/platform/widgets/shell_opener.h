#pragma once

#include <QString>

class QWidget;

namespace platform {

// Asks the desktop shell to carry out a verb on a document: "open" opens a file with the
// application associated with its type.
class ShellOpener
{
public:
    // Show state for the application's window: shown in its normal size and position.
    static constexpr int kShowRestore = 9;

    virtual ~ShellOpener() = default;
    // `file` is named relative to `workingFolder`. Returns at once, without waiting for the
    // application; returns false when the request could not be handed on.
    virtual bool open(QWidget *owner, const QString &verb, const QString &file,
                      const QString &parameters, const QString &workingFolder, int showState) = 0;
};

// The desktop's own opener: starts xdg-open on the file's absolute path, detached and without a
// shell, so nothing in a file name is read as an option or a command. A path whose bytes are not
// UTF-8 is handed over as a percent-encoded file URL of those bytes. The desktop chooses the
// application and places its window; the owner and the show state are not used there, and
// parameters are not passed (xdg-open takes none). Only the verb "open" is carried out.
class DesktopShellOpener : public ShellOpener
{
public:
    bool open(QWidget *owner, const QString &verb, const QString &file, const QString &parameters,
              const QString &workingFolder, int showState) override;

    // The absolute, clean path of `file` in `workingFolder` ("//" of a root folder collapses).
    static QString absolutePath(const QString &file, const QString &workingFolder);
};

} // namespace platform
