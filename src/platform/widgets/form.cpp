#include "platform/widgets/form.h"

#include <QCloseEvent>

namespace platform {

Form::Form(QWidget *parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

void Form::closeEvent(QCloseEvent *event)
{
    if (m_slot) {
        event->ignore();
        m_slot->unload();
        return;
    }
    QWidget::closeEvent(event);
}

FormSlot::FormSlot(Factory factory) : m_factory(std::move(factory)) {}

FormSlot::~FormSlot()
{
    delete m_form.data();
}

Form *FormSlot::load()
{
    if (!m_form) {
        Form *form = m_factory();
        form->m_slot = this;
        m_form = form;
        form->Form_Load();
    }
    return m_form;
}

void FormSlot::show()
{
    Form *form = load();
    if (!form)
        return; // its load procedure unloaded it again
    form->show();
    form->raise();
    form->activateWindow();
}

void FormSlot::hide()
{
    if (m_form)
        m_form->hide();
}

void FormSlot::unload()
{
    Form *form = m_form;
    if (!form)
        return;
    // Cleared first: the unload procedure may show dialogs, and events that run meanwhile must
    // already see the form as gone.
    m_form = nullptr;
    form->Form_Unload();
    form->m_slot = nullptr;
    form->hide();
    // The form may be the sender of the event being handled right now.
    form->deleteLater();
}

} // namespace platform
