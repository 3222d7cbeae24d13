#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <memory_resource>
#include <vector>

namespace vessaro {

// Memory for many small blocks of a few sizes that come and go, as the nodes and lists of an index
// do: blocks are cut from an upstream resource and, when given back, kept on a list per size class
// for the next block of that class. Taking and giving back are a pop and a push, where
// std::pmr::unsynchronized_pool_resource searches its chunks for the one a freed block came from
// (a third of the cost of filing a user in a sparse index, measured). Sizes are rounded up to a
// class: 16-byte steps up to 256 bytes, then four steps per power of two, so at most a fifth of a
// block above 256 bytes is unused. Blocks larger than kLargest, or more strictly aligned than
// kAlignment, go to and come back from upstream directly. Memory is never given back to upstream:
// release() forgets the lists, for use when upstream itself is released. Not thread-safe.
class FreeListResource final : public std::pmr::memory_resource {
public:
    static constexpr std::size_t kLargest = 32768;
    static constexpr std::size_t kAlignment = 16;

    explicit FreeListResource(std::pmr::memory_resource* upstream) : upstream_(upstream) {}
    FreeListResource(const FreeListResource&) = delete;
    FreeListResource& operator=(const FreeListResource&) = delete;

    void release() {
        for (std::vector<void*>& free : free_)
            free = {};
    }

    // The class of a block of this size (1..kLargest bytes), and the size of that class's blocks.
    static std::size_t ClassOf(std::size_t bytes) {
        if (bytes <= 256)
            return bytes == 0 ? 0 : (bytes - 1) / 16;
        const std::size_t last = bytes - 1;
        const std::size_t power = std::bit_width(last) - 1; // 8 or more
        return 16 + (power - 8) * 4 + ((last >> (power - 2)) & 3);
    }
    static std::size_t SizeOf(std::size_t sizeClass) {
        if (sizeClass < 16)
            return (sizeClass + 1) * 16;
        const std::size_t power = 8 + (sizeClass - 16) / 4;
        return (5 + (sizeClass - 16) % 4) << (power - 2);
    }

private:
    static constexpr std::size_t kClasses = 16 + (15 - 8) * 4; // up to 2^15 = kLargest
    static_assert(std::size_t(1) << 15 == kLargest);

    static bool Pooled(std::size_t bytes, std::size_t alignment) {
        return bytes <= kLargest && alignment <= kAlignment;
    }

    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (!Pooled(bytes, alignment))
            return upstream_->allocate(bytes, alignment);
        const std::size_t sizeClass = ClassOf(bytes);
        if (std::vector<void*>& free = free_[sizeClass]; !free.empty()) {
            void* block = free.back();
            free.pop_back();
            return block;
        }
        return upstream_->allocate(SizeOf(sizeClass), kAlignment);
    }

    void do_deallocate(void* pointer, std::size_t bytes, std::size_t alignment) override {
        if (!Pooled(bytes, alignment)) {
            upstream_->deallocate(pointer, bytes, alignment);
            return;
        }
        free_[ClassOf(bytes)].push_back(pointer);
    }

    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }

    std::pmr::memory_resource* upstream_;
    // The blocks given back, by class. Kept apart from the blocks themselves: a block waits long
    // enough to leave the cache, and taking it from a list threaded through the blocks would wait
    // for its memory before the caller could use it.
    std::array<std::vector<void*>, kClasses> free_;
};

} // namespace vessaro
