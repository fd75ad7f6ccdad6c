#pragma once

#include <functional>

// Removes and dispatches the pending events of the calling thread once: socket
// notifications, posted calls from worker threads, timers and input. Every wait that runs
// on the user-interface thread calls it between its sleeps. Returns whether anything ran.
bool PumpOneMessage();

namespace Platform {

// The wait of the user-interface thread: up to `rounds` rounds of one event pass followed by
// a sleep of stepMs, ended early once `done` holds, which is asked before every round.
// Returns whether done holds at the end (false without one).
bool pumpingWait(int rounds, int stepMs, const std::function<bool()> &done = {});

} // namespace Platform
