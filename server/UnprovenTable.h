#pragma once

#include "Endpoint.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vessaro {

// The endpoints that were granted a session id but have not yet proven their address, kept only
// for what the grant itself cannot tell: which id was granted (repeated connects get the same),
// how many acknowledgements and bytes have gone there, and which notice copies are still to go.
//
// Entries live in a ring of fixed size in the order they were granted, and every entry lives
// equally long, so expiry, eviction (the oldest goes when the ring is full) and the notice copies
// all move forward through the ring: one cursor per copy, no timer per entry. Memory is the ring
// plus two hash indexes bounded the same way (their buckets reserved at construction), by endpoint
// and by id: about 130 bytes per entry, 2.1 MB for 16,384 entries.
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
    // Whether a live entry holds the id: it is not granted to another endpoint meanwhile, or
    // whichever proved it first would lock the other out.
    bool HoldsId(int32_t id) const { return ids_.count(id) != 0; }
    // A new entry for an endpoint that has none and an id no live entry holds; evicts the oldest
    // entry when the table is full.
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
    std::unordered_set<int32_t> ids_; // the ids of the live entries
};

} // namespace vessaro
