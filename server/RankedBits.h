#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vessaro {

// Bit counting without relying on the popcnt instruction, which the build does not assume: the
// library call it falls back to otherwise costs more than this.
inline unsigned CountBits(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return unsigned((x * 0x0101010101010101ULL) >> 56);
}

// A set of numbers below 64 * Words. A member's rank, the count of members below it, is where
// its entry sits in an array kept densely in the same order, so the array needs no search.
template <std::size_t Words>
struct RankedBits {
    bool Has(unsigned n) const { return (words[n / 64] >> (n % 64)) & 1; }
    void Set(unsigned n) { words[n / 64] |= uint64_t(1) << (n % 64); }
    void Reset(unsigned n) { words[n / 64] &= ~(uint64_t(1) << (n % 64)); }
    // The count of members below n, for n up to 64 * Words.
    std::size_t Below(unsigned n) const {
        std::size_t rank = 0;
        for (unsigned word = 0; word < n / 64; ++word)
            rank += CountBits(words[word]);
        if (n % 64 != 0)
            rank += CountBits(words[n / 64] & ((uint64_t(1) << (n % 64)) - 1));
        return rank;
    }

    std::array<uint64_t, Words> words{};
};

} // namespace vessaro
