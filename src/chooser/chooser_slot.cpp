#include "chooser/chooser_slot.h"

namespace chooser {

ChooserSlot::ChooserSlot(const ChooserServices &services)
    : m_services(services), m_slot([this] { return new Form4(m_services, *this); })
{}

void ChooserSlot::showChooser()
{
    m_slot.show();
}

bool ChooserSlot::isChooserLoaded() const
{
    return m_slot.isLoaded();
}

void ChooserSlot::unloadChooser()
{
    m_slot.unload();
}

void ChooserSlot::setSearchCommand(search::SearchCommand *search)
{
    m_services.search = search;
    if (Form4 *form = chooser())
        form->setSearchCommand(search);
}

Form4 *ChooserSlot::chooser() const
{
    return m_slot.as<Form4>();
}

} // namespace chooser
