#include "platform/Terminate.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include <atomic>

namespace Platform {
namespace {

std::atomic<bool> g_requested{false};
QMetaObject::Connection g_quitWhenIdle;

} // namespace

// The messages that explain the end are still to come, each in a modal box with an event loop
// of its own, and an event loop started after QCoreApplication::exit() returns at once: the
// operator would never read them. So the main loop is told to quit only once it waits for
// events at its own level again, with no box open and no operation running.
void requestTerminate()
{
    if (g_requested.exchange(true))
        return;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    g_quitWhenIdle = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, [] {
        if (QThread::currentThread()->loopLevel() > 1)
            return;
        QObject::disconnect(g_quitWhenIdle);
        QCoreApplication::quit();
    });
}

bool terminateRequested()
{
    return g_requested;
}

void clearTerminateRequest()
{
    QObject::disconnect(g_quitWhenIdle);
    g_requested = false;
}

} // namespace Platform
