#include "platform/Clock.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace Platform {
namespace {

std::atomic<double> g_scale{1.0};
std::atomic<bool> g_counted{false};
// Each thread counts its own sleeps: a thread's waits are bounded by its own program time,
// whatever other threads sleep meanwhile (several runs at once, each on a thread of its own).
thread_local quint32 t_countedTick = 0;

const QElapsedTimer &startTimer()
{
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

} // namespace

void setTimeScale(double scale)
{
    Q_ASSERT(scale > 0.0);
    g_scale = scale;
}

double timeScale()
{
    return g_scale;
}

void setCountedClock(bool counted)
{
    g_counted = counted;
}

void sleep(int ms)
{
    if (ms <= 0)
        return;
    if (g_counted)
        t_countedTick += quint32(ms);
    const auto real = std::chrono::microseconds(std::llround(ms * 1000.0 * g_scale));
    std::this_thread::sleep_for(real);
}

quint32 tickCount()
{
    if (g_counted)
        return t_countedTick;
    const double programMs = double(startTimer().nsecsElapsed()) / 1.0e6 / g_scale;
    return quint32(quint64(programMs));
}

} // namespace Platform
