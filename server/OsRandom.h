#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vessaro {

// Unpredictable 32-bit values from the operating system's random source (getrandom), fetched in
// blocks to spare system calls.
class OsRandom {
public:
    uint32_t Next();

private:
    std::array<uint32_t, 64> block_{};
    std::size_t used_ = block_.size();
};

} // namespace vessaro
