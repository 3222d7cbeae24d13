#include "ManualClock.h"

namespace vessaro {

void ManualClock::Advance(uint32_t ms) {
    // Unsigned arithmetic: the count wraps past 0xFFFFFFFF as the system's does.
    now_.fetch_add(ms);
}

} // namespace vessaro
