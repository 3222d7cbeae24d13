#include "FlatMap.h"
#include "HugePageResource.h"
#include "SessionTable.h"
#include "Slab.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <random>
#include <unordered_map>

namespace vessaro {
namespace {

struct MixedHash {
    uint64_t operator()(int32_t k) const { return MixBits(uint32_t(k)); }
};
// Puts every key in one of four homes: long runs, where erasing must shift entries back right.
struct CrowdedHash {
    uint64_t operator()(int32_t k) const { return uint64_t(k) & 3; }
};

// The table against a standard map over random puts and erases (keys present and absent, key 0
// and negative keys among them), growing to thousands of entries and shrinking again.
template <typename Hash>
void CheckAgainstStandardMap(unsigned seed, int keyRange) {
    FlatMap<int32_t, int, Hash> table;
    std::unordered_map<int32_t, int> truth;
    std::mt19937 random(seed);
    for (int step = 0; step < 40000; ++step) {
        // First grow, then mostly erase.
        const bool put = random() % 100 < (step < 20000 ? 70u : 25u);
        const int32_t key = int32_t(random() % unsigned(2 * keyRange)) - keyRange;
        if (put) {
            table.Get(key) = step;
            truth[key] = step;
        } else {
            ASSERT_EQ(table.Erase(key), truth.erase(key) == 1) << "key " << key;
        }
        ASSERT_EQ(table.size(), truth.size());
        if (step % 997 == 0) {
            for (int32_t k = -keyRange; k < keyRange; ++k) {
                const int* found = table.Find(k);
                auto it = truth.find(k);
                ASSERT_EQ(found != nullptr, it != truth.end()) << "key " << k;
                if (found) {
                    ASSERT_EQ(*found, it->second) << "key " << k;
                }
            }
        }
    }
}

TEST(FlatMap, AgreesWithAStandardMapThroughGrowthAndErasure) {
    CheckAgainstStandardMap<MixedHash>(1, 5000);
    CheckAgainstStandardMap<CrowdedHash>(2, 300);
}

TEST(FlatMap, EmptyTableFindsNothingAndErasesNothing) {
    FlatMap<int32_t, int, MixedHash> table;
    EXPECT_EQ(table.Find(0), nullptr);
    EXPECT_FALSE(table.Erase(7));
    table.Get(7) = 1;
    table.Clear();
    EXPECT_EQ(table.Find(7), nullptr);
    EXPECT_EQ(table.size(), 0u);
}

// Sessions come and go in any order; each id and endpoint keeps finding its own session, and an
// id never opened or already closed finds none.
TEST(SessionTable, FindsEachOpenSessionByIdAndEndpointAcrossReuse) {
    SessionTable table(100000, 100000, 1000, 16, 0x1234);
    std::unordered_map<int32_t, Endpoint> open;
    std::mt19937 random(3);
    for (int step = 0; step < 20000; ++step) {
        const int32_t id = int32_t(random() % 3000) + 1;
        const Endpoint endpoint{0x0A000000u + uint32_t(id % 7), uint16_t(id)};
        if (!table.Find(id)) {
            ASSERT_EQ(table.CheckLimits(endpoint), SessionTable::Refusal::None);
            Session& s = table.Open(id, endpoint, step);
            table.RecordsOf(s).profile.age = uint32_t(id % 100);
            open[id] = endpoint;
        } else {
            table.Close(id, step);
            open.erase(id);
        }
    }
    ASSERT_EQ(table.size(), open.size());
    for (const auto& [id, endpoint] : open) {
        Session* byId = table.Find(id);
        ASSERT_TRUE(byId);
        EXPECT_EQ(byId->endpoint, endpoint);
        EXPECT_EQ(table.FindByEndpoint(endpoint), byId);
        EXPECT_EQ(table.RecordsOf(std::as_const(*byId)).profile.age, uint32_t(id % 100));
    }
    for (int32_t bad : {0, -1, 3001, INT32_MIN, INT32_MAX})
        EXPECT_EQ(table.Find(bad), nullptr) << bad;
}

// Large blocks are mapped on their own, 2 MiB aligned, counted while held and unmapped when given
// back; small ones come from the heap. Each keeps what is written into it, beside the others.
TEST(HugePageResource, GivesAlignedWritableBlocksAndAccountsForLargeOnes) {
    std::pmr::memory_resource* memory = HugePageResource::Get();
    const std::size_t before = HugePageResource::Mapped();
    const std::size_t sizes[] = {HugePageResource::kHugePage, 3 * HugePageResource::kHugePage + 1,
                                 100};
    std::vector<uint8_t*> blocks;
    for (std::size_t size : sizes) {
        auto* block = static_cast<uint8_t*>(memory->allocate(size, 64));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 64, 0u);
        if (size >= HugePageResource::kHugePage) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % HugePageResource::kHugePage, 0u);
        }
        std::memset(block, int(size & 0xFF), size);
        blocks.push_back(block);
    }
    EXPECT_EQ(HugePageResource::Mapped() - before, 5 * HugePageResource::kHugePage); // 1 + 4 pages
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i][0], uint8_t(sizes[i] & 0xFF));
        EXPECT_EQ(blocks[i][sizes[i] - 1], uint8_t(sizes[i] & 0xFF));
        memory->deallocate(blocks[i], sizes[i], 64);
    }
    EXPECT_EQ(HugePageResource::Mapped(), before);
}

// A slab whose chunks are large enough for huge pages: objects keep their values and places
// while others are taken and given back, and a given-back place comes back reset.
TEST(Slab, KeepsObjectsInPlaceAcrossLargeChunks) {
    Slab<std::array<uint64_t, 4>, 1 << 16> slab; // 2 MiB chunks
    std::vector<uint32_t> held;
    for (uint32_t i = 0; i < 200000; ++i) {
        const uint32_t place = slab.Take();
        slab[place].fill(i);
        held.push_back(place);
    }
    const auto* first = &slab[held[0]];
    for (std::size_t i = 0; i < held.size(); i += 2)
        slab.Give(held[i]);
    const uint32_t again = slab.Take();
    EXPECT_EQ(slab[again][0], 0u);
    EXPECT_EQ(&slab[held[0]], first);
    for (std::size_t i = 1; i < held.size(); i += 2)
        ASSERT_EQ(slab[held[i]][3], i);
    EXPECT_EQ(slab.size(), held.size() / 2 + 1);
}

} // namespace
} // namespace vessaro
