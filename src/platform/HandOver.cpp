#include "platform/HandOver.h"

#include <QMetaObject>
#include <QThread>

#include <exception>

namespace Platform {

void runOnThreadOf(QObject *context, const std::function<void()> &work)
{
    if (context->thread() == QThread::currentThread()) {
        work();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        context,
        [&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace Platform
