#pragma once

#include "UdpSocket.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace vessaro::bench {

// The baseline: one UDP socket on one thread that receives a datagram and sends it, unchanged, to
// the sender's partner. Nothing else: no transform, no checks, no state but the pairs.
class MinimalForwarder {
public:
    MinimalForwarder();
    ~MinimalForwarder();
    MinimalForwarder(const MinimalForwarder&) = delete;
    MinimalForwarder& operator=(const MinimalForwarder&) = delete;

    UdpAddress address() const { return socket_.local(); }
    // Each of the two then receives what the other sends. Pairs may be added while it runs.
    void AddPair(const UdpAddress& a, const UdpAddress& b);
    uint64_t forwarded() const { return forwarded_.load(std::memory_order_relaxed); }

private:
    void Run();
    static uint64_t Key(const UdpAddress& a) { return uint64_t(a.address) << 16 | a.port; }

    UdpSocket socket_;
    std::mutex mutex_;
    std::unordered_map<uint64_t, UdpAddress> partners_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> forwarded_{0};
    std::thread thread_;
};

} // namespace vessaro::bench
