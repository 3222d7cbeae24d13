#pragma once

#include "DatagramBatch.h"
#include "ProfileMaker.h"
#include "UdpSocket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vessaro::bench {

// Endpoint n of a socket: the loopback address 127.1.N.H, N = n / 254 (0…255), H = 1 + n % 254,
// never a network or broadcast-looking host. 0 for n out of range.
uint32_t SpreadAddress(uint32_t n);
// The n of a SpreadAddress, or -1 for any other address.
int64_t SpreadIndex(uint32_t address);
inline constexpr uint32_t kSpreadAddresses = 256 * 254;
// Endpoints per generator thread between their connect and their place in the pool. Each has up
// to two datagrams (about 2 KB of kernel memory) queued at the server; two threads' worth leave
// half of the server's 8 MB receive buffer for the notice acknowledgements of the sessions
// already held, which arrive in bursts when the server has been off its CPU for a while.
inline constexpr std::size_t kConnectWindow = 512;

// What the whole swarm has seen, in memory shared with the process that started it.
struct SwarmCounts {
    std::atomic<uint64_t> granted{0}; // every grant, those of reconnects included
    std::atomic<uint64_t> open{0};    // sessions open now, as far as the swarm knows
    std::atomic<uint64_t> waitingNow{0};
    std::atomic<uint64_t> refused{0};
    std::atomic<uint64_t> restarts{0}; // gave up after a few unanswered tries, started again
    std::atomic<uint64_t> waiting{0};  // match requests acknowledged
    std::atomic<uint64_t> offers{0};
    std::atomic<uint64_t> closed{0}; // sessions the server closed (they connect again)
    std::atomic<uint64_t> notices{0};
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> sent{0};
    // Set by whoever watches the swarm: from now on no endpoint connects (again); those that have
    // a session keep it and go on answering.
    std::atomic<bool> holding{false};
};

// How often the swarm looks for endpoints left unanswered, and how many of those looks one that
// gave up rests before it starts again: longer than the server remembers an unproven endpoint
// (15 s by default), so that its next connect is granted afresh.
struct SwarmPace {
    std::chrono::milliseconds scan{1000};
    uint8_t restScans = 20;
};

// Many idle clients without a socket each: a few sockets bound to 0.0.0.0, each of which speaks
// for up to kSpreadAddresses loopback source addresses (IP_PKTINFO picks the source of each send
// and names the address each reply came to). So a million endpoints are spread over tens of
// thousands of addresses, and neither the open-file limit nor the kernel's lookup of a million
// sockets is what gets measured. Each endpoint connects, proves its address by answering the
// notice that comes with the grant, optionally asks for a partner (as a user no other waiting user
// can be paired with), and from then on answers everything that wants an answer. An endpoint whose
// session the server closes connects again, as a client does; one that the server leaves
// unanswered rests until the server has forgotten its grant, and then starts again, so that a
// server that fell behind for a while still ends up with every endpoint.
class EndpointSwarm {
public:
    // Opens the sockets for count endpoints towards the server; valid() false when it cannot.
    EndpointSwarm(std::size_t count, UdpAddress server, bool requestMatch);
    ~EndpointSwarm();
    EndpointSwarm(const EndpointSwarm&) = delete;
    EndpointSwarm& operator=(const EndpointSwarm&) = delete;

    bool valid() const { return valid_; }
    std::size_t size() const { return states_.size(); }
    const SwarmCounts& counts() const { return *counts_; }
    // Stops connecting, in the swarm's process and in a forked copy that runs it alike.
    void Hold() { counts_->holding = true; }
    void SetPace(SwarmPace pace) { pace_ = pace; }
    // Every endpoint has a session (or was refused) and, when asked to, waits.
    bool settled() const;

    // Runs the endpoints on threads (each with its own sockets) until stop() returns true; at most
    // window endpoints per thread between their connect and their session (or their place in the
    // pool).
    void Run(int threads, std::size_t window, const std::function<bool()>& stop);

    // Handles one datagram, complemented back already, that came to endpoint i; queues the
    // answers into out (for the endpoint's socket). Public for tests.
    void Handle(std::size_t i, std::span<const uint8_t> message, DatagramBatch& out, int fd,
                ProfileMaker& users);

private:
    enum State : uint8_t { Fresh, Connecting, Granted, Asked, Waiting, Refused, Resting, Closed };
    void RunThread(std::size_t firstSocket, std::size_t lastSocket, std::size_t window,
                   const std::function<bool()>& stop, uint32_t seed);
    // Still on its way to where it stays: a session, and when asked, a place in the pool. The
    // window counts these, so the swarm goes as fast as the server answers and no faster.
    bool InFlight(State state) const;
    void Queue(std::size_t i, std::span<const uint8_t> plain, DatagramBatch& out, int fd);
    uint32_t AddressOf(std::size_t i) const {
        return SpreadAddress(uint32_t(i % kSpreadAddresses));
    }

    UdpAddress server_;
    SwarmPace pace_;
    bool requestMatch_;
    bool valid_ = true;
    std::vector<UdpSocket> sockets_;
    std::vector<State> states_;
    std::vector<int32_t> ids_;
    std::vector<uint8_t> tries_;
    SwarmCounts* counts_;
};

} // namespace vessaro::bench
