#pragma once

#include <QtGlobal>

#include <atomic>
#include <mutex>
#include <vector>

// Raised once and then stays raised, so that it wakes every wait that watches it, however
// many and whenever they start: a poll() on its handle, and a blocking receive on a socket it
// watches.
class TStopSignal final
{
public:
    TStopSignal();
    ~TStopSignal();
    Q_DISABLE_COPY_MOVE(TStopSignal)

    void Raise();
    bool Raised() const { return m_raised.load(std::memory_order_acquire); }
    // Readable once raised; for poll().
    int Handle() const { return m_handle; }

    // Once raised, a receive on a watched socket returns at once, also one that is blocked
    // already: raising shuts the socket's receiving side. Unwatch it before closing it.
    void Watch(int socket);
    void Unwatch(int socket);

private:
    int m_handle;
    std::atomic<bool> m_raised{false};
    std::mutex m_watchedLock;
    std::vector<int> m_watched;
};
