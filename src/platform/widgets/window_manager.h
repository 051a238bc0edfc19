#pragma once

#include <QPointF>

class QWidget;

namespace platform {

// Moves a top-level window with the mouse, as dragging its caption bar would: the window
// manager's own move when it offers one (it then follows the mouse until the button is
// released), otherwise the window is moved here on every mouse move. The latter happens when no
// window manager runs, or on platforms without a system move.
class WindowDrag
{
public:
    explicit WindowDrag(QWidget &window) : m_window(window) {}
    WindowDrag(const WindowDrag &) = delete;
    WindowDrag &operator=(const WindowDrag &) = delete;

    // The mouse button went down at `global`: the point of the window that a drag keeps under
    // the mouse. Ends a drag still in progress.
    void press(const QPointF &global);
    // The mouse moved to `global` with the left button down and the window is to follow: starts
    // the drag on the first call, moves the window on later calls when it moves it itself.
    void drag(const QPointF &global);
    // The mouse button went up: the drag is over.
    void release();

private:
    enum class Mode { Idle, System, Manual };

    QWidget &m_window;
    Mode m_mode = Mode::Idle;
    bool m_pressed = false;
    QPointF m_pressGlobal;
    QPointF m_grabOffset; // mouse position minus window position, kept during a manual drag
};

// Minimises a top-level window (it stays in the taskbar).
void minimizeWindow(QWidget &window);

} // namespace platform
