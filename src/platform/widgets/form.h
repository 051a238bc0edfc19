#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace platform {

class FormSlot;

// A window with a load procedure (run when it is loaded, at its first showing) and an unload
// procedure (run when it is unloaded, by code or by its close box).
class Form : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(Form)

public:
    explicit Form(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

protected:
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    // The close box unloads a form that lives in a slot.
    void closeEvent(QCloseEvent *event) override;

private:
    friend class FormSlot;
    FormSlot *m_slot = nullptr;
};

// Holds one form through its life: not loaded -> loaded (shown or hidden) -> not loaded.
class FormSlot
{
public:
    using Factory = std::function<Form *()>;

    explicit FormSlot(Factory factory);
    // Discards a loaded form without running its unload procedure (the program is ending).
    ~FormSlot();
    FormSlot(const FormSlot &) = delete;
    FormSlot &operator=(const FormSlot &) = delete;

    bool isLoaded() const { return m_form != nullptr; }
    Form *form() const { return m_form; }
    template <typename F> F *as() const { return qobject_cast<F *>(m_form.data()); }

    // Loads the form if needed (creating it and running its load procedure); returns it.
    Form *load();
    // Loads if needed, then shows the form without making it modal; returns at once.
    void show();
    // The form disappears and keeps all its state.
    void hide();
    // Runs the unload procedure, then discards the form. Nothing happens when it is not loaded.
    void unload();

private:
    Factory m_factory;
    QPointer<Form> m_form;
};

} // namespace platform
