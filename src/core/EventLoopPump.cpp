#include "EventLoopPump.h"

#include <QCoreApplication>

void EventLoopPump::ProcessPending()
{
    // Bounded: events posted while this runs wait for the next pass.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
