#pragma once

#include <atomic>
#include <functional>

// Removes and dispatches the pending events of the calling thread once: socket
// notifications, posted calls from worker threads, timers and input. Every wait that runs
// on the user-interface thread calls it between its sleeps. Returns whether anything ran.
bool PumpOneMessage();

namespace Platform {

// Raised by the waits of a thread whose interruption flag is set. It is no std::exception, so
// that it passes the error traps of the procedure, which would take it for a failure of the
// switch, and reaches the run that installed the flag.
struct TWaitInterrupted
{
};

// A run that may be stopped from another thread (the operator's Ctrl-C) installs its flag on
// the thread it runs on; nullptr removes it. Once the flag is set, every wait of that thread
// raises TWaitInterrupted at its next round.
void setWaitInterruption(const std::atomic<bool> *flag);

// The wait of the user-interface thread: up to `rounds` rounds of one event pass followed by
// a sleep of stepMs, ended early once `done` holds, which is asked before every round.
// Returns whether done holds at the end (false without one). Raises TWaitInterrupted once the
// thread's interruption flag is set.
bool pumpingWait(int rounds, int stepMs, const std::function<bool()> &done = {});

} // namespace Platform
