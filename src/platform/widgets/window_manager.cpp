#include "platform/widgets/window_manager.h"

#include <QWidget>
#include <QWindow>

namespace platform {

void WindowDrag::press(const QPointF &global)
{
    m_mode = Mode::Idle;
    m_pressed = true;
    m_pressGlobal = global;
}

void WindowDrag::drag(const QPointF &global)
{
    QWidget &window = *m_window.window();
    switch (m_mode) {
    case Mode::Idle: {
        QWindow *handle = window.windowHandle();
        if (handle && handle->startSystemMove()) {
            m_mode = Mode::System;
            return;
        }
        // Anchored where the button went down, so the window does not lag behind the mouse by
        // the distance moved before the drag began.
        m_grabOffset = (m_pressed ? m_pressGlobal : global) - QPointF(window.pos());
        m_mode = Mode::Manual;
        [[fallthrough]];
    }
    case Mode::Manual:
        window.move((global - m_grabOffset).toPoint());
        return;
    case Mode::System:
        return; // the window manager moves it
    }
}

void WindowDrag::release()
{
    m_mode = Mode::Idle;
    m_pressed = false;
}

void minimizeWindow(QWidget &window)
{
    window.window()->showMinimized();
}

} // namespace platform
