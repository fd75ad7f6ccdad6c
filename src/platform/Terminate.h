#pragma once

// The request to end the program: the main loop quits once control returns to it, while the
// running operation still unwinds through its own raised error. Once requested, nothing more
// is sent to the switch.
namespace Platform {

void requestTerminate();
bool terminateRequested();
// Test code only: forget an earlier request.
void clearTerminateRequest();

} // namespace Platform
