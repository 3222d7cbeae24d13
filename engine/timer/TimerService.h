#pragma once

#include <cstdint>
#include <functional>

namespace vessaro {

// Identifies one armed timer; 0 is never a valid handle.
using TimerHandle = uint64_t;

// Called once when a timer fires, with the tag it was armed with, on the timer service's own thread
// (never the one that receives server datagrams); it only hands a tick to the dispatcher.
using TimerCallback = std::function<void(uint32_t tag)>;

// One-shot timers. Kill never blocks and never waits for a callback under way; killing a timer that
// has fired or was killed already does nothing; a killed timer never fires afterwards.
class TimerService {
public:
    virtual ~TimerService() = default;
    virtual TimerHandle Set(uint32_t dueMs, uint32_t tag, TimerCallback callback) = 0;
    virtual bool Kill(TimerHandle handle) = 0;
};

// A 32-bit millisecond count that wraps, like the system's tick count.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t TickCount() = 0;
};

} // namespace vessaro
