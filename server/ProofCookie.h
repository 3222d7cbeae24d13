#pragma once

#include "Endpoint.h"

#include <array>
#include <cstdint>

namespace vessaro {

// Session ids that prove an address, in the manner of SYN cookies: the id granted to an endpoint
// is a keyed hash of the endpoint and a coarse time slot, so a datagram that comes back from that
// endpoint carrying it shows that the endpoint received the grant, and the server needs to keep
// nothing about the grant in between.
//
// An id is a positive 31-bit number: bits 29-30 hold the slot number modulo 4, bits 27-28 the
// variant, bits 0-26 the hash. A slot lasts a third of the lifetime, and an id proves its endpoint
// in its own slot and the two after it: for between two thirds of the lifetime and all of it. The
// variant gives four different ids per endpoint and slot, for when one is in use already. Someone
// who cannot read the grant guesses right once in 2^27 tries.
//
// On a node of a cluster the ids also carry the node's number (bits 22-27, see cluster/NodeIds.h),
// which leaves bit 28 for the variant (two variants) and bits 0-21 for the hash: a guess is right
// once in 2^22 tries, still far beyond what the per-address datagram limit lets anyone try
// within an id's lifetime.
class ProofCookie {
public:
    static constexpr int kVariants = 4;

    explicit ProofCookie(const std::array<uint64_t, 2>& key) : key_(key) {}

    // From now on ids carry this node number (1..63); 0: no node bits, the layout above.
    void SetNode(uint16_t node) { node_ = node; }

    // The id granted to the endpoint at nowMs under a variant (0 to kVariants - 1); 0 when that
    // variant gives no usable id (its bits are all zero).
    int32_t Grant(const Endpoint& endpoint, int64_t nowMs, int64_t lifetimeMs, int variant) const;
    // True when Grant gave this id to the endpoint recently enough (see above).
    bool Proves(const Endpoint& endpoint, int32_t id, int64_t nowMs, int64_t lifetimeMs) const;

private:
    int32_t IdOf(const Endpoint& endpoint, int64_t slot, int variant) const;

    std::array<uint64_t, 2> key_;
    uint16_t node_ = 0;
};

} // namespace vessaro
