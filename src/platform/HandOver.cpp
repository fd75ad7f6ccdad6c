#include "platform/HandOver.h"

#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <exception>

namespace Platform {

void runOnThreadOf(QObject *context, const std::function<void()> &work)
{
    if (context->thread() == QThread::currentThread()) {
        work();
        return;
    }
    std::exception_ptr failure;
    // Qt orders the two threads inside its own, uninstrumented code; this release/acquire
    // pair states the same order where ThreadSanitizer sees it.
    std::atomic<int> stage{0};
    stage.store(1, std::memory_order_release);
    QMetaObject::invokeMethod(
        context,
        [&] {
            (void)stage.load(std::memory_order_acquire);
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            stage.store(2, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    (void)stage.load(std::memory_order_acquire);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace Platform

#if defined(__SANITIZE_THREAD__)
// Qt is not built for ThreadSanitizer: the locks inside it are invisible, so its own work on
// shared structures (the posted-event queue of a thread that several workers post to) and
// the call object of a hand-over, made and freed on the calling thread inside invokeMethod
// while the target thread reads it, look unordered; so does the watchdog thread of Qt Test.
// Those reports are silenced; the work and its data stay checked through the release/acquire
// pair above.
extern "C" const char *__tsan_default_suppressions()
{
    return "race:invokeMethod\n"
           "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Test.so.6\n";
}
#endif
