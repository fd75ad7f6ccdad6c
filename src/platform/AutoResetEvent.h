#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <initializer_list>
#include <mutex>

namespace Platform {

// An event that wakes one waiter and resets itself. waitAny waits on several at once; all
// events share one lock so that a single wait can watch them together.
class AutoResetEvent final
{
public:
    AutoResetEvent() = default;
    Q_DISABLE_COPY_MOVE(AutoResetEvent)

    void set();

    // Waits until the event is set; timeoutMs < 0 waits without limit. False on time-out.
    bool wait(int timeoutMs = -1);

    // Index of the first signalled event (which is reset), or -1 on time-out.
    static int waitAny(std::initializer_list<AutoResetEvent *> events, int timeoutMs = -1);

private:
    bool m_signalled = false;
};

} // namespace Platform
