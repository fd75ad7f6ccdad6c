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
namespace {

thread_local const std::atomic<bool> *t_interruption = nullptr;

void raiseWhenInterrupted()
{
    if (t_interruption && t_interruption->load())
        throw TWaitInterrupted{};
}

} // namespace

void setWaitInterruption(const std::atomic<bool> *flag)
{
    t_interruption = flag;
}

bool pumpingWait(int rounds, int stepMs, const std::function<bool()> &done)
{
    for (; rounds > 0; --rounds) {
        raiseWhenInterrupted();
        if (done && done())
            return true;
        PumpOneMessage();
        sleep(stepMs);
    }
    return done && done();
}

} // namespace Platform
