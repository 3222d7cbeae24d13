#include "AddressLimiter.h"

#include <algorithm>

namespace vessaro {

AddressLimiter::AddressLimiter(double ratePerSecond, std::size_t maxTracked, double burst) {
    SetLimits(ratePerSecond, maxTracked, burst);
}

void AddressLimiter::SetLimits(double ratePerSecond, std::size_t maxTracked, double burst) {
    rate_ = ratePerSecond;
    burst_ = burst > 0 ? burst : std::max(1.0, 2.0 * ratePerSecond);
    maxTracked_ = maxTracked;
}

bool AddressLimiter::Allow(const AddressKey& address, int64_t nowMs, double cost) {
    auto it = buckets_.find(address);
    if (it == buckets_.end()) {
        if (buckets_.size() >= maxTracked_ && nowMs - lastSweepMs_ >= 1000)
            Sweep(nowMs);
        if (buckets_.size() >= maxTracked_)
            return false;
        it = buckets_.emplace(address, TokenBucket(burst_, nowMs)).first;
    }
    return it->second.Take(nowMs, rate_, burst_, cost);
}

void AddressLimiter::Refund(const AddressKey& address, double amount) {
    if (auto it = buckets_.find(address); it != buckets_.end())
        it->second.Give(amount, burst_);
}

void AddressLimiter::Sweep(int64_t nowMs) {
    lastSweepMs_ = nowMs;
    std::erase_if(buckets_,
                  [&](const auto& entry) { return entry.second.IsFullAt(nowMs, rate_, burst_); });
}

} // namespace vessaro
