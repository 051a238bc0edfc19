#pragma once

namespace search {

class EntryList;

// The search run as the chooser starts it from its "选定" menu item.
class SearchCommand
{
public:
    virtual ~SearchCommand() = default;
    // Searches the marked entries of `files` (names, marks and folder are taken when it starts),
    // shows the progress window meanwhile and puts the report into the launcher. Returns at
    // once: the run starts from the event loop, and isRunning() is true until it is over.
    // Refused while another run is in progress.
    virtual void run(const EntryList &files) = 0;
    virtual bool isRunning() const = 0;
};

} // namespace search
