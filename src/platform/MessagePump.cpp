#include "platform/MessagePump.h"

#include "platform/Clock.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>

bool PumpOneMessage()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
}

namespace Platform {

bool pumpingWait(int rounds, int stepMs, const std::function<bool()> &done)
{
    for (; rounds > 0; --rounds) {
        if (done && done())
            return true;
        PumpOneMessage();
        sleep(stepMs);
    }
    return done && done();
}

} // namespace Platform
