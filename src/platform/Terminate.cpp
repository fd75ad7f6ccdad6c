#include "platform/Terminate.h"

#include <QCoreApplication>

#include <atomic>

namespace Platform {
namespace {
std::atomic<bool> g_requested{false};
}

void requestTerminate()
{
    g_requested = true;
    QCoreApplication::exit(0);
}

bool terminateRequested()
{
    return g_requested;
}

void clearTerminateRequest()
{
    g_requested = false;
}

} // namespace Platform
