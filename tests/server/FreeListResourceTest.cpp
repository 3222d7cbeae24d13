#include "FreeListResource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace vessaro {
namespace {

TEST(ServerMemory, EveryBlockSizeGetsAClassThatHoldsItWithLittleWaste) {
    for (std::size_t bytes = 1; bytes <= FreeListResource::kLargest; ++bytes) {
        const std::size_t size = FreeListResource::SizeOf(FreeListResource::ClassOf(bytes));
        ASSERT_GE(size, bytes);
        ASSERT_EQ(size % FreeListResource::kAlignment, 0u);
        ASSERT_LE(size, bytes <= 256 ? bytes + 15 : bytes + bytes / 4) << bytes;
        // Classes rise with the size, so a freed block only serves sizes it holds.
        if (bytes > 1) {
            ASSERT_GE(FreeListResource::ClassOf(bytes), FreeListResource::ClassOf(bytes - 1));
        }
    }
}

// Blocks of every size, pooled or not, taken and given back in random order: each keeps what was
// written into it while it is held, so no two held blocks overlap, and freed blocks are reused.
TEST(ServerMemory, HeldBlocksNeverOverlapAndFreedOnesAreReused) {
    std::pmr::monotonic_buffer_resource arena;
    FreeListResource memory(&arena);
    struct Held {
        unsigned char* bytes;
        std::size_t size;
        unsigned char mark;
    };
    std::vector<Held> held;
    std::mt19937 random(5);
    std::size_t reused = 0;
    std::vector<void*> freed;
    for (int step = 0; step < 20000; ++step) {
        if (!held.empty() && random() % 2 == 0) {
            const std::size_t i = random() % held.size();
            const Held h = held[i];
            for (std::size_t b = 0; b < h.size; ++b)
                ASSERT_EQ(h.bytes[b], h.mark) << "block of " << h.size << " bytes overwritten";
            memory.deallocate(h.bytes, h.size, 8);
            freed.push_back(h.bytes);
            held[i] = held.back();
            held.pop_back();
            continue;
        }
        const std::size_t size = random() % 8 == 0 ? 1 + random() % 40000 : 1 + random() % 600;
        auto* bytes = static_cast<unsigned char*>(memory.allocate(size, 8));
        ASSERT_EQ(reinterpret_cast<uintptr_t>(bytes) % 8, 0u);
        reused += std::find(freed.begin(), freed.end(), bytes) != freed.end();
        const auto mark = static_cast<unsigned char>(step);
        std::memset(bytes, mark, size);
        held.push_back({bytes, size, mark});
    }
    EXPECT_GT(reused, 1000u);
}

} // namespace
} // namespace vessaro
