#pragma once

#include "Endpoint.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace vessaro::test {

// What the simulated network does to each datagram: drops it, sends it twice, and holds it for the
// base delay plus a random jitter (a later datagram with less jitter overtakes an earlier one).
struct Impairment {
    double drop = 0.0;      // chance that a datagram is lost
    double duplicate = 0.0; // chance that a second copy follows, with its own delay
    uint32_t delayMs = 1;   // at least 1, so that nothing arrives in the instant it was sent
    uint32_t jitterMs = 0;  // added to the delay: uniform in [0, jitterMs]
};

struct SimDatagram {
    Endpoint from;
    Endpoint to;
    std::vector<uint8_t> bytes;
};

// Datagrams in flight between simulated hosts, decided by one seeded random source so that a seed
// replays the same run. Time is the simulation's milliseconds.
class SimNetwork {
public:
    explicit SimNetwork(uint64_t seed, Impairment impairment = {});

    void SetImpairment(Impairment impairment) { impairment_ = impairment; }
    // Puts a datagram on its way, impaired. The source address is whatever the sender claims.
    void Send(const Endpoint& from, const Endpoint& to, std::span<const uint8_t> bytes,
              uint64_t nowMs);
    // A datagram that arrives exactly once after the base delay, whatever the impairment: a forger
    // under the test's control.
    void SendIntact(const Endpoint& from, const Endpoint& to, std::span<const uint8_t> bytes,
                    uint64_t nowMs);

    // When the next datagram arrives; nothing when none is in flight.
    std::optional<uint64_t> NextDueMs() const;
    // Removes and returns the datagrams due by nowMs, in arrival order (ties in sending order).
    std::vector<SimDatagram> TakeDue(uint64_t nowMs);

    // Sees every datagram handed to Send, as an eavesdropper on the path would (wire bytes).
    std::function<void(const SimDatagram&)> observer;

    uint64_t dropped() const { return dropped_; }
    uint64_t duplicated() const { return duplicated_; }

private:
    struct InFlight {
        uint64_t dueMs;
        uint64_t order;
        SimDatagram datagram;
    };
    void Schedule(SimDatagram datagram, uint64_t dueMs);
    uint32_t Delay();

    std::mt19937_64 random_;
    Impairment impairment_;
    std::vector<InFlight> inFlight_; // unordered; TakeDue sorts what it takes
    uint64_t nextOrder_ = 0;
    uint64_t dropped_ = 0;
    uint64_t duplicated_ = 0;
};

} // namespace vessaro::test
