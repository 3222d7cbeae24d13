#pragma once

#include "TimerService.h"

namespace vessaro {

// The process-wide timer service: one thread of our own with a min-heap of one-shot timers.

// Starts the service (idempotent). Always returns 0.
int TimerInit();

// Arms a one-shot timer on the process-wide service; the callback runs on the timer thread.
TimerHandle TimerSet(uint32_t dueMs, uint32_t tag, TimerCallback callback);

// Cancels without blocking; a handle that fired or was killed already is harmless.
bool TimerKill(TimerHandle handle);

// The process-wide service and the system's millisecond clock, for code that takes them injected.
TimerService& ProcessTimers();
Clock& SystemClock();

// Stops the timer thread; no callback runs after it returns. Safe to call more than once.
void TimerShutdown();

} // namespace vessaro
