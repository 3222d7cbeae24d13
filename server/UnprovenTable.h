#pragma once

#include "Endpoint.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace vessaro {

// The endpoints that were granted a session id but have not yet proven their address, kept only
// for what the grant itself cannot tell: which id was granted (repeated connects get the same),
// how many acknowledgements and bytes have gone there, and which notice copies are still to go.
//
// Entries live in a ring of fixed size in the order they were granted, and every entry lives
// equally long, so expiry, eviction (the oldest goes when the ring is full) and the notice copies
// all move forward through the ring: one cursor per copy, no timer per entry. Memory is the ring
// plus a hash index bounded the same way (its buckets reserved at construction): about 104 bytes
// per entry (40 in the ring, 64 in the index), 1.7 MB for 16,384 entries.
class UnprovenTable {
public:
    struct Entry {
        Endpoint endpoint;
        int32_t id = 0;
        int64_t grantedMs = 0;
        uint16_t bytesSent = 0;
        uint8_t acksSent = 0;
        bool live = false;
    };

    // copyOffsetsMs: when each repeated notice copy is due, after the grant, in increasing order.
    UnprovenTable(std::size_t capacity, std::vector<int64_t> copyOffsetsMs);

    void SetCopyOffsets(std::vector<int64_t> copyOffsetsMs);

    // The live entry of the endpoint, or null.
    Entry* Find(const Endpoint& endpoint);
    // A new entry for an endpoint that has none; evicts the oldest entry when the table is full.
    Entry& Add(const Endpoint& endpoint, int32_t id, int64_t nowMs);
    void Remove(const Endpoint& endpoint);
    // Forgets every entry granted lifetimeMs ago or earlier.
    void Expire(int64_t nowMs, int64_t lifetimeMs);
    // Calls send for every live entry with a copy due at or before nowMs, each copy once.
    void TakeDueCopies(int64_t nowMs, const std::function<void(Entry&)>& send);
    // When the next copy may be due (possibly of an entry removed since).
    std::optional<int64_t> NextCopyDue() const;

    std::size_t size() const { return index_.size(); }
    std::size_t capacity() const { return ring_.size(); }
    void Clear();

private:
    Entry& At(uint64_t position) { return ring_[position % ring_.size()]; }
    const Entry& At(uint64_t position) const { return ring_[position % ring_.size()]; }
    void DropOldest();

    std::vector<Entry> ring_;
    uint64_t head_ = 0; // position of the oldest entry still in the ring
    uint64_t tail_ = 0; // position the next entry takes
    std::vector<int64_t> copyOffsetsMs_;
    std::vector<uint64_t> copyCursors_; // per copy: the first position not yet looked at
    std::unordered_map<Endpoint, uint64_t, EndpointHash> index_;
};

} // namespace vessaro
