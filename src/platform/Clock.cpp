#include "platform/Clock.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace Platform {
namespace {

std::atomic<double> g_scale{1.0};

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

void sleep(int ms)
{
    if (ms <= 0)
        return;
    const auto real = std::chrono::microseconds(std::llround(ms * 1000.0 * g_scale));
    std::this_thread::sleep_for(real);
}

quint32 tickCount()
{
    const double programMs = double(startTimer().nsecsElapsed()) / 1.0e6 / g_scale;
    return quint32(quint64(programMs));
}

} // namespace Platform
