#pragma once

// Removes and dispatches the pending events of the calling thread once: socket
// notifications, posted calls from worker threads, timers and input. Every wait that runs
// on the user-interface thread calls it between its sleeps. Returns whether anything ran.
bool PumpOneMessage();
