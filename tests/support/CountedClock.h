#pragma once

#include "platform/Clock.h"

#include <functional>

// Program time for a test: the tick counts the sleeps taken, whatever the machine is doing,
// while each sleep yields the thread for its length times scale so that peers answer and
// events arrive. The product's clock comes back when the fixture goes.
class CountedClock final
{
public:
    explicit CountedClock(double scale)
    {
        Platform::setTimeScale(scale);
        Platform::setCountedClock(true);
    }
    ~CountedClock()
    {
        Platform::setCountedClock(false);
        Platform::setTimeScale(1.0);
    }
    Q_DISABLE_COPY_MOVE(CountedClock)
};

// The scale for tests against a peer process such as the simulated switch: a 100 ms pause
// still gives the peer 10 ms of real time, far above a busy machine's scheduling delays.
constexpr double kPeerTimeScale = 0.1;

// Program time that passes while action runs.
inline quint32 programMsOf(const std::function<void()> &action)
{
    const quint32 start = Platform::tickCount();
    action();
    return Platform::tickCount() - start;
}
