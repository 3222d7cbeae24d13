#pragma once

#include "Endpoint.h"
#include "TokenBucket.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace vessaro {

// A rate limit per address (or per network): one token bucket per key. Buckets
// that have filled up again are forgotten, and no more than maxTracked addresses are remembered:
// while that many are busy at once, datagrams of further addresses are refused too, so a flood
// from forged addresses cannot grow the table without bound.
class AddressLimiter {
public:
    // The burst defaults to twice the rate (at least one).
    AddressLimiter(double ratePerSecond, std::size_t maxTracked, double burst = 0);

    // New limits, applied to the buckets already tracked too; when the table is now over its
    // size, further addresses wait until sweeps have made room.
    void SetLimits(double ratePerSecond, std::size_t maxTracked, double burst = 0);

    // True when a datagram of this address may be handled now (cost: its share of the rate, one
    // by default; a byte budget passes the datagram's size).
    bool Allow(const AddressKey& address, int64_t nowMs, double cost = 1.0);
    // Gives back what Allow took for something that turned out not to count against the key.
    void Refund(const AddressKey& address, double amount);
    // Forgets addresses whose buckets are full again.
    void Sweep(int64_t nowMs);

    std::size_t tracked() const { return buckets_.size(); }

private:
    double rate_;
    double burst_;
    std::size_t maxTracked_;
    int64_t lastSweepMs_ = 0;
    std::unordered_map<AddressKey, TokenBucket, AddressKeyHash> buckets_;
};

} // namespace vessaro
