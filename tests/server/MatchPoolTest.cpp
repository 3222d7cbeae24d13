#include "MatchPool.h"
#include "CoreHarness.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace vessaro::test {
namespace {

MatchCandidate C(const UserProfile& p, const MatchRequirement& r) {
    return MatchCandidate::From(p, r);
}

struct CompatCase {
    const char* name;
    UserProfile aProfile;
    MatchRequirement aWants;
    UserProfile bProfile;
    MatchRequirement bWants;
    bool compatible;
};

TEST(ServerMatching, CompatibilityNeedsEachToMeetTheOther) {
    const UserProfile man30 = Profile(SEX_MALE, 30);
    const UserProfile woman25 = Profile(SEX_FEMALE, 25);
    const CompatCase cases[] = {
        {"anyone meets no requirement", man30, Want(), woman25, Want(), true},
        {"sex wanted by one side", man30, Want(SEX_FEMALE), woman25, Want(), true},
        {"sex wanted by both sides", man30, Want(SEX_FEMALE), woman25, Want(SEX_MALE), true},
        {"wrong sex for the first", man30, Want(SEX_MALE), woman25, Want(), false},
        {"wrong sex for the second", man30, Want(), woman25, Want(SEX_FEMALE), false},
        {"age at the lower bound", man30, Want(SEX_ANY, 25, 40), woman25, Want(), true},
        {"age at the upper bound", man30, Want(), woman25, Want(SEX_ANY, 20, 30), true},
        {"age below the range", man30, Want(SEX_ANY, 26, 40), woman25, Want(), false},
        {"age above the range", man30, Want(), woman25, Want(SEX_ANY, 18, 29), false},
        {"reversed range read between", man30, Want(), woman25, Want(SEX_ANY, 35, 28), true},
        {"reversed range still bounds", man30, Want(), woman25, Want(SEX_ANY, 29, 20), false},
        {"city wanted and met", man30, Want(SEX_ANY, 0, 120, "深圳"), woman25, Want(), true},
        {"city wanted, other city", man30, Want(SEX_ANY, 0, 120, "广州"), woman25, Want(), false},
        {"district wanted and met", man30, Want(SEX_ANY, 0, 120, "深圳", "南山"), woman25, Want(),
         true},
        {"district wanted, other district", man30, Want(SEX_ANY, 0, 120, "", "福田"), woman25,
         Want(), false},
        {"own city with trailing blanks", Profile(SEX_MALE, 30, "深圳  "), Want(), woman25,
         Want(SEX_ANY, 0, 120, "深圳"), true},
    };
    for (const CompatCase& c : cases) {
        const MatchCandidate a = C(c.aProfile, c.aWants);
        const MatchCandidate b = C(c.bProfile, c.bWants);
        EXPECT_EQ(Compatible(a, b), c.compatible) << c.name;
        EXPECT_EQ(Compatible(b, a), c.compatible) << c.name << " (swapped)";
    }
}

TEST(ServerMatching, CityIsComparedAsGbkBytes) {
    // Two byte strings that are not GBK text at all: decoding both would give the same
    // replacement characters, but as bytes they differ.
    UserProfile p = Profile(SEX_MALE, 30);
    const char invalidA[] = {char(0xFF), char(0x41), 0};
    const char invalidB[] = {char(0xFE), char(0x41), 0};
    std::memcpy(p.city, invalidA, sizeof invalidA);
    MatchRequirement r = Want();
    std::memcpy(r.city, invalidB, sizeof invalidB);
    const MatchCandidate wanter = C(Profile(SEX_FEMALE, 30), r);
    EXPECT_FALSE(MeetsRequirement(C(p, Want()), wanter));
    std::memcpy(r.city, invalidA, sizeof invalidA);
    EXPECT_TRUE(MeetsRequirement(C(p, Want()), C(Profile(SEX_FEMALE, 30), r)));
}

TEST(ServerMatching, PoolFindsTheLongestWaitingCompatibleUser) {
    MatchPool pool;
    pool.Add(1, C(Profile(SEX_MALE, 40), Want()), 10);   // too old for the seeker
    pool.Add(2, C(Profile(SEX_FEMALE, 25), Want()), 20); // wrong sex for the seeker
    pool.Add(3, C(Profile(SEX_MALE, 25), Want()), 30);   // fits
    pool.Add(4, C(Profile(SEX_MALE, 26), Want()), 40);   // fits, came later
    const MatchCandidate seeker = C(Profile(SEX_FEMALE, 22), Want(SEX_MALE, 20, 30));
    EXPECT_EQ(pool.FindSameTopic(seeker), 3);
    pool.Remove(3);
    EXPECT_EQ(pool.FindSameTopic(seeker), 4);
    pool.Remove(4);
    EXPECT_EQ(pool.FindSameTopic(seeker), std::nullopt);
    EXPECT_EQ(pool.size(), 2u);
}

TEST(ServerMatching, PoolKeepsTopicsApartUntilBothRelax) {
    MatchPool pool;
    const UserProfile p = Profile(SEX_MALE, 30);
    pool.Add(1, C(p, Want(SEX_ANY, 0, 120, "", "", "音乐")), 1);
    const MatchCandidate seeker = C(p, Want(SEX_ANY, 0, 120, "", "", "电影"));
    EXPECT_EQ(pool.FindSameTopic(seeker), std::nullopt);
    EXPECT_EQ(pool.FindRelaxed(seeker), std::nullopt); // user 1 has not relaxed yet
    pool.Relax(1);
    EXPECT_TRUE(pool.IsRelaxed(1));
    EXPECT_EQ(pool.FindRelaxed(seeker), 1);
    pool.Remove(1);
    EXPECT_EQ(pool.FindRelaxed(seeker), std::nullopt);
    EXPECT_FALSE(pool.Contains(1));
}

// The index must give exactly what a scan of everyone would: the compatible user who has waited
// longest. Random users over a small space of values, so that classes share shelves and ages.
TEST(ServerMatching, PoolAgreesWithAScanOfEveryone) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const char* cities[] = {"", "深圳", "广州"};
    const char* districts[] = {"", "南山", "福田"};
    const char* topics[] = {"谈天说地", "音乐"};
    // Mostly plausible values, now and then an odd sex code or an age past the index's range.
    auto age = [&](int base) {
        return uint32_t(pick(20) == 0 ? 120 + pick(200) : base + pick(12));
    };
    auto randomCandidate = [&] {
        UserProfile p =
            Profile(pick(10) == 0 ? 3 : 1 + pick(2), age(18), cities[pick(3)], districts[pick(3)]);
        MatchRequirement r = Want(pick(10) == 0 ? 7 : pick(3), age(16), age(16), cities[pick(3)],
                                  districts[pick(3)], topics[pick(2)]);
        return C(p, r);
    };
    MatchPool pool;
    std::map<int32_t, std::pair<MatchCandidate, uint64_t>> everyone;
    uint64_t arrival = 0;
    for (int step = 0; step < 4000; ++step) {
        const MatchCandidate seeker = randomCandidate();
        std::optional<int32_t> expected;
        uint64_t best = ~0ull;
        for (const auto& [id, entry] : everyone) {
            if (entry.first.topic == seeker.topic && Compatible(entry.first, seeker) &&
                entry.second < best) {
                best = entry.second;
                expected = id;
            }
        }
        ASSERT_EQ(pool.FindSameTopic(seeker), expected) << "step " << step;
        if (expected && pick(2) == 0) {
            pool.Remove(*expected);
            everyone.erase(*expected);
        } else if (!everyone.empty() && pick(4) == 0) {
            auto victim = std::next(everyone.begin(), pick(int(everyone.size())));
            pool.Remove(victim->first);
            everyone.erase(victim);
        } else {
            pool.Add(step, seeker, ++arrival);
            everyone.emplace(step, std::make_pair(seeker, arrival));
        }
        ASSERT_EQ(pool.size(), everyone.size());
    }
}

} // namespace
} // namespace vessaro::test
