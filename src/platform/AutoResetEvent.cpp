#include "platform/AutoResetEvent.h"

#include <chrono>

namespace Platform {
namespace {

std::mutex &sharedLock()
{
    static std::mutex lock;
    return lock;
}

std::condition_variable &sharedCondition()
{
    static std::condition_variable condition;
    return condition;
}

} // namespace

void AutoResetEvent::set()
{
    {
        std::lock_guard guard(sharedLock());
        m_signalled = true;
    }
    sharedCondition().notify_all();
}

bool AutoResetEvent::wait(int timeoutMs)
{
    return waitAny({this}, timeoutMs) == 0;
}

int AutoResetEvent::waitAny(std::initializer_list<AutoResetEvent *> events, int timeoutMs)
{
    int index = -1;
    auto signalled = [&] {
        int i = 0;
        for (AutoResetEvent *event : events) {
            if (event->m_signalled) {
                event->m_signalled = false;
                index = i;
                return true;
            }
            ++i;
        }
        return false;
    };
    std::unique_lock guard(sharedLock());
    if (timeoutMs < 0)
        sharedCondition().wait(guard, signalled);
    else
        sharedCondition().wait_for(guard, std::chrono::milliseconds(timeoutMs), signalled);
    return index;
}

} // namespace Platform
