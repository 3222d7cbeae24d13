#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <new>

#include <sys/mman.h>

namespace vessaro {

// Memory for large tables that are read at random: a block of 2 MiB or more is mapped aligned to
// 2 MiB and the kernel is asked to back it with huge pages, so that reading a table of a million
// entries mostly costs a cache miss and not a page-table walk as well. Smaller blocks come from
// the ordinary heap. It holds no state, so one instance serves every thread.
class HugePageResource final : public std::pmr::memory_resource {
public:
    static constexpr std::size_t kHugePage = std::size_t(2) << 20;

    static HugePageResource* Get() {
        static HugePageResource resource;
        return &resource;
    }
    // Bytes mapped for large blocks and not yet given back, by every thread.
    static std::size_t Mapped() { return mapped_.load(std::memory_order_relaxed); }

private:
    static std::size_t Rounded(std::size_t bytes) {
        return (bytes + kHugePage - 1) / kHugePage * kHugePage;
    }

    // Large blocks are mapped directly: a block one huge page longer than asked for, of which
    // the ends outside the aligned part are unmapped again.
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (bytes < kHugePage)
            return ::operator new(bytes, std::align_val_t(alignment));
        const std::size_t size = Rounded(bytes);
        void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        const auto start = reinterpret_cast<uintptr_t>(mapped);
        const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
        if (aligned != start)
            munmap(mapped, aligned - start);
        if (const std::size_t tail = start + size + kHugePage - (aligned + size); tail != 0)
            munmap(reinterpret_cast<void*>(aligned + size), tail);
        // Only advice: without huge pages the block is still good memory.
        madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
        mapped_.fetch_add(size, std::memory_order_relaxed);
        return reinterpret_cast<void*>(aligned);
    }

    void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
        if (bytes < kHugePage) {
            ::operator delete(block, std::align_val_t(alignment));
            return;
        }
        munmap(block, Rounded(bytes));
        mapped_.fetch_sub(Rounded(bytes), std::memory_order_relaxed);
    }

    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }

    static inline std::atomic<std::size_t> mapped_{0};
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
