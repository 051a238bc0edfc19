#pragma once

#include <QElapsedTimer>

namespace platform {

// Runs the user interface events that are waiting, then returns. Any event handler of any window
// may run inside.
void processPendingEvents();

// Yields to the event loop at most every `interval` milliseconds of work, so that a long job
// keeps the windows live without paying for an event-loop pass per small step.
class ThrottledYield
{
public:
    explicit ThrottledYield(int intervalMs = 16) : m_intervalMs(intervalMs) { m_clock.start(); }

    // Cheap when the interval has not passed: one clock read.
    void maybeYield()
    {
        if (m_clock.elapsed() >= m_intervalMs)
            yieldNow();
    }
    void yieldNow()
    {
        processPendingEvents();
        m_clock.restart();
    }

private:
    QElapsedTimer m_clock;
    int m_intervalMs;
};

} // namespace platform
