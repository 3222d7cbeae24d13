#pragma once

#include "TimerService.h"

namespace vessaro {

// The system's millisecond count: monotonic, 32 bits, wrapping about every 49.7 days.
class SteadyClock final : public Clock {
public:
    uint32_t TickCount() override;
};

} // namespace vessaro
