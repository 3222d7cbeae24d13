#pragma once

#include "ClusterPort.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vessaro::cluster {

// The bodies of the frames about waiting users, big-endian: an advert (and a stored waiting user)
// is the session id (4 bytes), the arrival stamp (8), the relaxed flag (1) and the records; a
// withdrawal is the session id. The node is the frame's sender, never taken from the body.
std::vector<uint8_t> EncodeAdvert(const WaiterAd& ad);
// The advert, or nothing unless the body has exactly the advert's size and a valid flag.
std::optional<WaiterAd> DecodeAdvert(std::span<const uint8_t> body, uint16_t sender);

std::vector<uint8_t> EncodeSessionId(int32_t sessionId);
std::optional<int32_t> DecodeSessionId(std::span<const uint8_t> body);

} // namespace vessaro::cluster
