#pragma once

#include <algorithm>
#include <cstdint>

namespace vessaro {

// How long a client waits before it tries its server again after losing it: 1 s, then twice as
// long at each failure in a row, at most 30 s; a successful connect starts the count again.
class ReconnectBackoff {
public:
    static constexpr int64_t kFirstDelayMs = 1000;
    static constexpr int64_t kMaxDelayMs = 30000;

    // The wait before the next try; each call doubles the one after it.
    int64_t NextDelayMs() {
        const int64_t delay = next_;
        next_ = std::min(next_ * 2, kMaxDelayMs);
        return delay;
    }
    void Reset() { next_ = kFirstDelayMs; }

private:
    int64_t next_ = kFirstDelayMs;
};

} // namespace vessaro
