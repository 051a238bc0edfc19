#pragma once

#include "chooser/chooser_window.h"
#include "launcher/chooser_host.h"
#include "platform/widgets/form.h"

namespace chooser {

// The chooser as the launcher sees it: Form4 in its form slot, loaded on its first showing.
class ChooserSlot : public launcher::ChooserHost
{
public:
    explicit ChooserSlot(const ChooserServices &services);
    ChooserSlot(const ChooserSlot &) = delete;
    ChooserSlot &operator=(const ChooserSlot &) = delete;

    void showChooser() override;
    bool isChooserLoaded() const override;
    void unloadChooser() override;

    // The search that "选定" runs; the chooser may be loaded already.
    void setSearchCommand(search::SearchCommand *search);

    // The loaded chooser, or null.
    Form4 *chooser() const;
    platform::FormSlot &slot() { return m_slot; }

private:
    ChooserServices m_services;
    platform::FormSlot m_slot;
};

} // namespace chooser
