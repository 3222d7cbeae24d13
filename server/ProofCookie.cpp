#include "ProofCookie.h"

#include "SipHash.h"
#include "cluster/NodeIds.h"

#include <algorithm>
#include <cstring>

namespace vessaro {
namespace {

constexpr int kSlotShift = 29;
constexpr int kVariantShift = 27;
constexpr uint32_t kHashMask = (1u << kVariantShift) - 1;
// With a node number: one variant bit, the node's bits, a shorter hash.
constexpr uint32_t kNodeVariantBit = 1u << 28;
constexpr uint32_t kNodeHashMask = (1u << cluster::kNodeShift) - 1;

int64_t SlotLengthMs(int64_t lifetimeMs) {
    return std::max<int64_t>(1, lifetimeMs / 3);
}

int64_t SlotAt(int64_t nowMs, int64_t lifetimeMs) {
    const int64_t length = SlotLengthMs(lifetimeMs);
    return nowMs >= 0 ? nowMs / length : -((-nowMs + length - 1) / length);
}

} // namespace

int32_t ProofCookie::IdOf(const Endpoint& endpoint, int64_t slot, int variant) const {
    uint8_t input[16 + 2 + 8 + 1];
    std::memcpy(input, endpoint.address.data(), 16);
    input[16] = uint8_t(endpoint.port);
    input[17] = uint8_t(endpoint.port >> 8);
    for (int i = 0; i < 8; ++i)
        input[18 + i] = uint8_t(uint64_t(slot) >> (8 * i));
    input[26] = uint8_t(variant);
    const uint32_t hash = uint32_t(SipHash24(key_, input));
    const uint32_t slotBits = uint32_t(slot & 3) << kSlotShift;
    if (node_ != 0)
        return cluster::WithNode(
            slotBits | (variant ? kNodeVariantBit : 0) | (hash & kNodeHashMask), node_);
    return int32_t(slotBits | (uint32_t(variant) << kVariantShift) | (hash & kHashMask));
}

int32_t ProofCookie::Grant(const Endpoint& endpoint, int64_t nowMs, int64_t lifetimeMs,
                           int variant) const {
    if (node_ != 0 && variant > 1)
        return 0;
    return IdOf(endpoint, SlotAt(nowMs, lifetimeMs), variant);
}

bool ProofCookie::Proves(const Endpoint& endpoint, int32_t id, int64_t nowMs,
                         int64_t lifetimeMs) const {
    if (id <= 0)
        return false;
    const int64_t current = SlotAt(nowMs, lifetimeMs);
    const int64_t age = (current - int64_t(uint32_t(id) >> kSlotShift)) & 3;
    if (age > 2)
        return false;
    const int variant = node_ != 0 ? int((uint32_t(id) & kNodeVariantBit) != 0)
                                   : int((uint32_t(id) >> kVariantShift) & 3);
    return IdOf(endpoint, current - age, variant) == id;
}

} // namespace vessaro
