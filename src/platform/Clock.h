#pragma once

#include <QtGlobal>

// Every wait of the program keeps its millisecond figures; only the real sleep is scaled, so
// tests can run the procedure on an accelerated clock.
namespace Platform {

// Test code only: 1.0 in the product.
void setTimeScale(double scale);
double timeScale();

// Test code only. Under the counted clock the tick is the sum of the sleeps the calling thread
// took, so a busy machine never reads as program time: a test asserts polls, attempts and
// pauses exactly. The product keeps the real clock.
void setCountedClock(bool counted);

// Sleeps ms milliseconds of program time (ms times the time scale in real time).
void sleep(int ms);

// Program-time milliseconds since start; wraps at 2^32, so compare with unsigned subtraction.
quint32 tickCount();

} // namespace Platform
