#pragma once

#include "TimerService.h"

#include <atomic>

namespace vessaro {

// A clock that moves only when told to. The count wraps at 32 bits like the system's.
class ManualClock final : public Clock {
public:
    explicit ManualClock(uint32_t start = 0) : now_(start) {}

    uint32_t TickCount() override { return now_.load(); }
    void Set(uint32_t tickCount) { now_.store(tickCount); }
    void Advance(uint32_t ms);

private:
    std::atomic<uint32_t> now_;
};

} // namespace vessaro
