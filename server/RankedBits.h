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
// its entry sits in an array kept densely in the same order, so the array needs no search. The
// count of members in the words before each word is kept too, so that a rank counts the bits of
// one word, not of every word below it.
template <std::size_t Words>
struct RankedBits {
    static_assert(64 * Words <= 256, "counts before a word are kept in bytes");

    bool Has(unsigned n) const { return (words[n / 64] >> (n % 64)) & 1; }
    // n must not be a member yet.
    void Set(unsigned n) {
        words[n / 64] |= uint64_t(1) << (n % 64);
        for (std::size_t word = n / 64 + 1; word < Words; ++word)
            ++before[word];
    }
    // n must be a member.
    void Reset(unsigned n) {
        words[n / 64] &= ~(uint64_t(1) << (n % 64));
        for (std::size_t word = n / 64 + 1; word < Words; ++word)
            --before[word];
    }
    // The count of members below n, for n up to 64 * Words.
    std::size_t Below(unsigned n) const {
        if (n / 64 == Words)
            return std::size_t(before[Words - 1]) + CountBits(words[Words - 1]);
        return std::size_t(before[n / 64]) +
               CountBits(words[n / 64] & ((uint64_t(1) << (n % 64)) - 1));
    }

    std::array<uint64_t, Words> words{};
    std::array<uint8_t, Words> before{}; // members in the words before each word
};

} // namespace vessaro
