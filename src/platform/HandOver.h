#pragma once

#include <QObject>

#include <functional>

namespace Platform {

// Runs work on the thread of context and returns when it has run. From a worker thread the
// work is queued to that thread (which must be dispatching its events) and the caller
// blocks; on that thread itself it runs at once, since queuing there would deadlock.
// An exception raised by the work is raised again in the caller.
void runOnThreadOf(QObject *context, const std::function<void()> &work);

} // namespace Platform
