#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vessaro {

// SipHash-2-4: a keyed 64-bit hash that someone without the key can neither predict nor steer,
// fast on short inputs. The key is two 64-bit words (the first holds key bytes 0 to 7, read
// little-endian).
uint64_t SipHash24(const std::array<uint64_t, 2>& key, std::span<const uint8_t> data);

} // namespace vessaro
