#include "FlatMap.h"
#include "SessionTable.h"

#include <gtest/gtest.h>

#include <climits>
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

} // namespace
} // namespace vessaro
