#pragma once

#include <cstdint>

namespace vessaro::cluster {

// Session and conversation ids made on a node of a cluster carry the node's number in bits 22 to
// 27, so that ids are unique across the cluster and any node can tell which node made an id.
inline constexpr int kNodeShift = 22;
inline constexpr uint32_t kNodeMask = 0x3Fu << kNodeShift;

inline uint16_t NodeOfId(int32_t id) {
    return uint16_t((uint32_t(id) & kNodeMask) >> kNodeShift);
}

// The id with its node bits set to node.
inline int32_t WithNode(uint32_t id, uint16_t node) {
    return int32_t((id & ~kNodeMask) | (uint32_t(node) << kNodeShift & kNodeMask));
}

} // namespace vessaro::cluster
