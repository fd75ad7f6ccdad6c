#pragma once

#include <QtGlobal>

#include <atomic>

// Raised once and then stays raised, so that it wakes every wait that watches it, however
// many and whenever they start.
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

private:
    int m_handle;
    std::atomic<bool> m_raised{false};
};
