#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vessaro {

// Counts of durations in fixed buckets, cumulative as Prometheus histograms want them: bucket i
// counts every observation of at most kBoundsMs[i] milliseconds; count and sum cover them all.
struct LatencyHistogram {
    static constexpr std::array<double, 12> kBoundsMs = {1,    5,    10,   50,    100,   500,
                                                         1000, 2000, 5000, 10000, 30000, 60000};
    std::array<uint64_t, kBoundsMs.size()> buckets{};
    uint64_t count = 0;
    double sumMs = 0;

    void Observe(double ms) {
        for (std::size_t i = 0; i < kBoundsMs.size(); ++i) {
            if (ms <= kBoundsMs[i])
                ++buckets[i];
        }
        ++count;
        sumMs += ms;
    }
};

} // namespace vessaro
