#include "platform/core/event_yield.h"

#include <QCoreApplication>

namespace platform {

void processPendingEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace platform
