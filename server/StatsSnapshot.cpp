#include "StatsSnapshot.h"

#include <chrono>

namespace vessaro {

StatsSnapshot::StatsSnapshot(std::function<void()> wake, std::function<int64_t()> clock)
    : wake_(std::move(wake)), clock_(std::move(clock)), heartbeatMs_(clock_()) {}

std::optional<ServerStats> StatsSnapshot::Read(int64_t freshMs, int64_t waitMs) {
    std::unique_lock lock(mutex_);
    if (stats_ && clock_() - publishedMs_ <= freshMs)
        return stats_;
    const uint64_t seen = serial_;
    wanted_.store(true, std::memory_order_release);
    wake_();
    published_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return serial_ != seen; });
    return stats_;
}

bool StatsSnapshot::Alive(int64_t maxAgeMs) const {
    return clock_() - heartbeatMs_.load(std::memory_order_acquire) <= maxAgeMs;
}

void StatsSnapshot::Publish(const ServerStats& stats) {
    {
        std::lock_guard lock(mutex_);
        wanted_.store(false, std::memory_order_release);
        stats_ = stats;
        publishedMs_ = clock_();
        ++serial_;
    }
    published_.notify_all();
}

} // namespace vessaro
