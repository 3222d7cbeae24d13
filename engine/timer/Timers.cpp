#include "Timers.h"

#include "SteadyClock.h"
#include "ThreadTimerService.h"

namespace vessaro {
namespace {

// Made on first use. At exit its destructor drops the armed timers and joins the thread, so that no
// callback is left running while the process ends.
ThreadTimerService& Service() {
    static ThreadTimerService service;
    return service;
}

} // namespace

int TimerInit() {
    Service().Start();
    return 0;
}

TimerHandle TimerSet(uint32_t dueMs, uint32_t tag, TimerCallback callback) {
    return Service().Set(dueMs, tag, std::move(callback));
}

bool TimerKill(TimerHandle handle) {
    return Service().Kill(handle);
}

TimerService& ProcessTimers() {
    return Service();
}

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

void TimerShutdown() {
    Service().Stop();
}

} // namespace vessaro
