#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vessaro::fuzz {

// Reads a fuzzer's bytes as a little program: single bytes for choices, two-byte lengths, byte
// runs. Past the end every read yields zeros or an empty run, so a harness can read without
// checking and simply stops when empty() says so.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return offset_ >= size_; }

    uint8_t Byte() { return empty() ? 0 : data_[offset_++]; }

    uint16_t U16() {
        uint16_t low = Byte();
        return static_cast<uint16_t>(low | Byte() << 8);
    }

    // Up to n bytes (fewer at the end).
    std::span<const uint8_t> Bytes(std::size_t n) {
        std::size_t take = std::min(n, size_ - std::min(offset_, size_));
        std::span<const uint8_t> run(data_ + offset_, take);
        offset_ += take;
        return run;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

} // namespace vessaro::fuzz
