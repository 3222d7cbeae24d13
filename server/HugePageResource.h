#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory_resource>
#include <new>

#include <sys/mman.h>

namespace vessaro {

// Memory for large tables that are read at random: a block of 2 MiB or more is aligned to 2 MiB
// and the kernel is asked to back it with huge pages, so that reading a table of a million
// entries mostly costs a cache miss and not a page-table walk as well. Smaller blocks come from
// the ordinary heap. It holds no state, so one instance serves every thread.
class HugePageResource final : public std::pmr::memory_resource {
public:
    static constexpr std::size_t kHugePage = std::size_t(2) << 20;

    static HugePageResource* Get() {
        static HugePageResource resource;
        return &resource;
    }

private:
    static std::size_t Rounded(std::size_t bytes) {
        return (bytes + kHugePage - 1) / kHugePage * kHugePage;
    }

    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (bytes < kHugePage)
            return ::operator new(bytes, std::align_val_t(alignment));
        void* block = std::aligned_alloc(kHugePage, Rounded(bytes));
        if (!block)
            throw std::bad_alloc();
        // Only advice: without huge pages the block is still good memory.
        madvise(block, Rounded(bytes), MADV_HUGEPAGE);
        return block;
    }

    void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
        if (bytes < kHugePage)
            ::operator delete(block, bytes, std::align_val_t(alignment));
        else
            std::free(block);
    }

    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

// A standard allocator over HugePageResource, for containers that hold large tables.
template <typename T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) {}

    T* allocate(std::size_t n) {
        return static_cast<T*>(HugePageResource::Get()->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, std::size_t n) {
        HugePageResource::Get()->deallocate(p, n * sizeof(T), alignof(T));
    }
    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const {
        return true;
    }
};

} // namespace vessaro
