#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

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
// its entry sits in an array kept densely in the same order, so the array needs no search. With
// more than two words, the count of members in the words before each word is kept too, so that a
// rank counts the bits of one word, not of every word below it; with two, counting a second word
// costs less than the bytes the counts would take.
template <std::size_t Words>
struct RankedBits {
    static_assert(64 * Words <= 256, "counts before a word are kept in bytes");
    static constexpr bool kCountsBefore = Words > 2;

    bool Has(unsigned n) const { return (words[n / 64] >> (n % 64)) & 1; }
    // n must not be a member yet.
    void Set(unsigned n) {
        words[n / 64] |= uint64_t(1) << (n % 64);
        if constexpr (kCountsBefore) {
            for (std::size_t word = n / 64 + 1; word < Words; ++word)
                ++before[word];
        }
    }
    // n must be a member.
    void Reset(unsigned n) {
        words[n / 64] &= ~(uint64_t(1) << (n % 64));
        if constexpr (kCountsBefore) {
            for (std::size_t word = n / 64 + 1; word < Words; ++word)
                --before[word];
        }
    }
    // The count of members below n, for n up to 64 * Words.
    std::size_t Below(unsigned n) const {
        const std::size_t word = n / 64;
        const std::size_t inWord =
            word == Words ? 0 : CountBits(words[word] & ((uint64_t(1) << (n % 64)) - 1));
        if constexpr (kCountsBefore) {
            if (word == Words)
                return std::size_t(before[Words - 1]) + CountBits(words[Words - 1]);
            return std::size_t(before[word]) + inWord;
        } else {
            std::size_t below = inWord;
            for (std::size_t w = 0; w < word; ++w)
                below += CountBits(words[w]);
            return below;
        }
    }

    // Calls fn(n) for every member n, in ascending order.
    template <typename Fn>
    void ForEach(Fn&& fn) const {
        for (std::size_t word = 0; word < Words; ++word) {
            for (uint64_t bits = words[word]; bits != 0; bits &= bits - 1)
                fn(unsigned(64 * word + unsigned(__builtin_ctzll(bits))));
        }
    }

    std::array<uint64_t, Words> words{};
    // Members in the words before each word, when kept.
    struct NoCounts {};
    [[no_unique_address]] std::conditional_t<kCountsBefore, std::array<uint8_t, Words>, NoCounts>
        before{};
};

} // namespace vessaro
