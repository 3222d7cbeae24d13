#pragma once

#include "ForkedWorker.h"
#include "UdpSocket.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vessaro::bench {

// The relay baseline: a process of its own with one UDP socket that receives datagrams in batches
// (recvmmsg) and sends each, unchanged, to the sender's partner in batches (sendmmsg). Nothing
// else: no transform, no checks, no state but the pairs. Its CPU time per datagram is what the
// server's is held to.
class MinimalForwarder {
public:
    MinimalForwarder();
    ~MinimalForwarder();
    MinimalForwarder(const MinimalForwarder&) = delete;
    MinimalForwarder& operator=(const MinimalForwarder&) = delete;

    UdpAddress address() const { return socket_.local(); }
    // Each of the two then receives what the other sends. Only before Start.
    void AddPair(const UdpAddress& a, const UdpAddress& b);
    // Forks the forwarding process, pinned to the CPUs; false when it cannot.
    bool Start(const std::vector<int>& cpus);
    int pid() const { return worker_ ? worker_->pid() : -1; }
    // Datagrams it has sent on so far.
    uint64_t forwarded() const { return shared_->load(std::memory_order_relaxed); }

private:
    static uint64_t Key(const UdpAddress& a) { return uint64_t(a.address) << 16 | a.port; }
    int Run(WorkerChannel& channel);

    UdpSocket socket_;
    std::unordered_map<uint64_t, UdpAddress> partners_;
    std::atomic<uint64_t> unshared_{0}; // counts when no shared memory could be had
    std::atomic<uint64_t>* shared_;     // in memory shared with the forwarding process
    std::unique_ptr<ForkedWorker> worker_;
};

} // namespace vessaro::bench
