#pragma once

namespace launcher {

// What the launcher needs of the chooser window, which is built on top of the launcher.
class ChooserHost
{
public:
    virtual ~ChooserHost() = default;
    // Loads the chooser on its first showing, otherwise shows it as it was left; not modal.
    virtual void showChooser() = 0;
    virtual bool isChooserLoaded() const = 0;
    // Runs the chooser's unload procedure (which saves the last location) and discards it.
    virtual void unloadChooser() = 0;
};

} // namespace launcher
