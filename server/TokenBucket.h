#pragma once

#include <algorithm>
#include <cstdint>

namespace vessaro {

// A token bucket: holds up to `burst` tokens and gains `ratePerSecond` tokens a second. Starts
// full. Time is in milliseconds from any fixed origin and must not go backwards.
class TokenBucket {
public:
    TokenBucket() = default;
    TokenBucket(double burst, int64_t nowMs) : tokens_(burst), lastMs_(nowMs) {}

    // Takes `cost` tokens (one by default) when there are that many.
    bool Take(int64_t nowMs, double ratePerSecond, double burst, double cost = 1.0) {
        Refill(nowMs, ratePerSecond, burst);
        if (tokens_ < cost)
            return false;
        tokens_ -= cost;
        return true;
    }

    // Gives tokens back, up to the burst.
    void Give(double amount, double burst) { tokens_ = std::min(burst, tokens_ + amount); }

    // True when the bucket would be full at nowMs, i.e. it remembers nothing worth keeping.
    bool IsFullAt(int64_t nowMs, double ratePerSecond, double burst) const {
        return tokens_ + double(nowMs - lastMs_) * ratePerSecond / 1000.0 >= burst;
    }

private:
    void Refill(int64_t nowMs, double ratePerSecond, double burst) {
        if (nowMs > lastMs_) {
            tokens_ = std::min(burst, tokens_ + double(nowMs - lastMs_) * ratePerSecond / 1000.0);
            lastMs_ = nowMs;
        }
    }

    double tokens_ = 0.0;
    int64_t lastMs_ = 0;
};

} // namespace vessaro
