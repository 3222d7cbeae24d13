#pragma once

#include "ServerStats.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace vessaro {

// The server loop's stats and heartbeat, for readers on other threads (the HTTP handlers). The
// loop owns the core, which is not thread-safe: a reader asks, the loop publishes a copy of its
// stats at its next turn, and a copy younger than the freshness limit serves the readers that
// follow without asking again. Nothing happens per datagram.
class StatsSnapshot {
public:
    // wake makes the loop turn soon (it writes to the loop's event); times in the loop's clock.
    StatsSnapshot(std::function<void()> wake, std::function<int64_t()> clock);

    // Reader side: stats at most freshMs old, waiting up to waitMs for the loop to publish them;
    // the latest published (or nothing) when the loop does not answer in time.
    std::optional<ServerStats> Read(int64_t freshMs = 500, int64_t waitMs = 1000);
    // True when the loop turned within maxAgeMs.
    bool Alive(int64_t maxAgeMs) const;

    // Loop side.
    bool Wanted() const { return wanted_.load(std::memory_order_acquire); }
    void Publish(const ServerStats& stats);
    void Beat() { heartbeatMs_.store(clock_(), std::memory_order_release); }

private:
    std::function<void()> wake_;
    std::function<int64_t()> clock_;
    std::atomic<bool> wanted_ = false;
    std::atomic<int64_t> heartbeatMs_;
    std::mutex mutex_;
    std::condition_variable published_;
    std::optional<ServerStats> stats_;
    int64_t publishedMs_ = 0;
    uint64_t serial_ = 0;
};

} // namespace vessaro
