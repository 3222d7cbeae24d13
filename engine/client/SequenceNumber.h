#pragma once

#include <cstdint>

namespace vessaro {

// Text sequence numbers run on for the life of the process and wrap at 32 bits, so "later" is
// decided by serial-number arithmetic: a is later than b when it lies less than half the number
// space ahead of it.
constexpr bool SequenceAfter(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) > 0;
}

} // namespace vessaro
