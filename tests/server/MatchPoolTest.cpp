#include "MatchPool.h"
#include "CoreHarness.h"
#include "WaitingScan.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

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
    std::map<int32_t, test::ScannedWaiter> everyone;
    uint64_t arrival = 0;
    for (int step = 0; step < 4000; ++step) {
        const MatchCandidate seeker = randomCandidate();
        const std::optional<int32_t> expected = test::ScanForPartner(everyone, seeker, false);
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
            everyone.emplace(step, test::ScannedWaiter{seeker, arrival});
        }
        ASSERT_EQ(pool.size(), everyone.size());
    }
}

// Users compatible with the same seeker, of one age and range, share their lists: whatever order
// they join in and whichever of them leave (first, last or in between), the rest come out longest
// waiting first.
TEST(ServerMatching, PoolKeepsArrivalOrderWhateverOrderUsersJoinIn) {
    MatchPool pool;
    const MatchCandidate man = C(Profile(SEX_MALE, 30), Want(SEX_FEMALE, 20, 40));
    const MatchCandidate seeker = C(Profile(SEX_FEMALE, 25), Want(SEX_MALE, 20, 40));
    const std::pair<int32_t, uint64_t> joins[] = {{1, 50}, {2, 10}, {3, 30}, {4, 20},
                                                  {5, 40}, {6, 60}, {7, 5}};
    for (const auto& [id, arrival] : joins)
        pool.Add(id, man, arrival);
    pool.Remove(3); // inside the list
    pool.Remove(6); // the last
    pool.Remove(7); // the first
    for (int32_t expected : {2, 4, 5, 1}) {
        ASSERT_EQ(pool.FindSameTopic(seeker), expected);
        pool.Remove(expected);
    }
    EXPECT_EQ(pool.FindSameTopic(seeker), std::nullopt);
    pool.Add(8, man, 70); // the lists emptied above are made afresh
    EXPECT_EQ(pool.FindSameTopic(seeker), 8);
}

// Many users on one shelf and in the same tree nodes, of ever other ages: lists and nodes fall
// vacant, are used again and are dropped in bulk, and the longest-waiting user each node keeps
// goes stale as users leave. Seekers of narrow and broad ages must still find what a scan finds,
// above all right after the longest-waiting users leave.
TEST(ServerMatching, PoolAgreesWithAScanAsOneShelfChurns) {
    std::mt19937 rng(5);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    MatchPool pool;
    std::map<int32_t, test::ScannedWaiter> waiting;
    uint64_t arrival = 0;
    for (int32_t step = 0; step < 5000; ++step) {
        const uint32_t lo = uint32_t(15 + pick(20));
        const MatchCandidate seeker =
            C(Profile(SEX_FEMALE, 30), Want(SEX_MALE, lo, pick(3) == 0 ? 120 : lo + pick(6)));
        const std::optional<int32_t> found = pool.FindSameTopic(seeker);
        ASSERT_EQ(found, test::ScanForPartner(waiting, seeker, false)) << "step " << step;
        // Grow to about a hundred users, then shrink to a handful, and again.
        const bool shrinking = (step / 1000) % 2 == 1;
        if (found && pick(shrinking ? 1 : 3) == 0) {
            pool.Remove(*found);
            waiting.erase(*found);
        } else if (!waiting.empty() && pick(shrinking ? 2 : 6) == 0) {
            auto it = std::next(waiting.begin(), pick(int(waiting.size())));
            pool.Remove(it->first);
            waiting.erase(it);
        } else {
            const MatchCandidate man =
                C(Profile(SEX_MALE, uint32_t(18 + pick(30))), Want(SEX_FEMALE, 25, 35));
            pool.Add(step, man, ++arrival);
            waiting.emplace(step, test::ScannedWaiter{man, arrival});
        }
    }
}

// Cities and districts are told apart while anyone waits with them, and a text nobody has any
// more does not stand for whatever text comes after it. Each user below brings one text that is
// new to the pool, just after one was given up.
TEST(ServerMatching, PoolTellsPlacesApartAfterTheirUsersLeave) {
    auto man = [](const char* city, const char* district, const char* wantCity = "") {
        return C(Profile(SEX_MALE, 30, city, district), Want(SEX_ANY, 0, 120, wantCity));
    };
    auto woman = [](const char* city, const char* wantCity = "", const char* wantDistrict = "") {
        return C(Profile(SEX_FEMALE, 25, city, ""), Want(SEX_ANY, 0, 120, wantCity, wantDistrict));
    };
    {
        MatchPool pool;
        pool.Add(1, man("深圳", ""), 1);
        pool.Remove(1);
        pool.Add(2, man("广州", ""), 2);
        EXPECT_EQ(pool.FindSameTopic(woman("", "深圳")), std::nullopt);
        EXPECT_EQ(pool.FindSameTopic(woman("", "广州")), 2);
        pool.Add(3, man("广州", "南山"), 3);
        pool.Remove(3);
        pool.Add(4, man("广州", "天河"), 4);
        EXPECT_EQ(pool.FindSameTopic(woman("", "广州", "南山")), std::nullopt);
        EXPECT_EQ(pool.FindSameTopic(woman("", "广州", "天河")), 4);
        // A seeker from a city no one else has still meets those who do not care where it lives.
        EXPECT_EQ(pool.FindSameTopic(woman("拉萨")), 2);
    }
    {
        // The same for what a waiting user wants.
        MatchPool pool;
        pool.Add(5, man("", "", "上海"), 5);
        EXPECT_EQ(pool.FindSameTopic(woman("上海")), 5);
        pool.Remove(5);
        pool.Add(6, man("", "", "北京"), 6);
        EXPECT_EQ(pool.FindSameTopic(woman("上海")), std::nullopt);
        EXPECT_EQ(pool.FindSameTopic(woman("北京")), 6);
    }
}

// Against a scan of everyone, through heavy churn over many cities and districts (so that indexes
// hold many shelves, grow and shrink): arrivals out of order, replaced ids, relaxed users, seekers
// from places no one waits in, and a pool emptied and filled again.
TEST(ServerMatching, PoolAgreesWithAScanThroughChurnOverManyPlaces) {
    using Waiting = test::ScannedWaiter;
    std::mt19937 rng(21);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    auto city = [&](int n) { return n == 0 ? std::string() : "c" + std::to_string(n); };
    auto randomCandidate = [&] {
        MatchCandidate c;
        c.topic = pick(2) ? "t1" : "t2";
        c.sex = pick(3);
        c.age = uint32_t(16 + pick(40));
        c.city = city(pick(60));
        c.district = c.city.empty() || pick(3) == 0 ? "" : "d" + std::to_string(pick(4));
        c.wantSex = pick(20) == 0 ? kNobody : pick(3);
        c.minAge = uint32_t(14 + pick(30));
        c.maxAge = c.minAge + uint32_t(pick(3) == 0 ? 100 : pick(20));
        c.maxAge = std::min(c.maxAge, kMaxMatchAge);
        if (pick(3) == 0) {
            c.wantCity = city(1 + pick(70)); // now and then a city nobody lives in
            if (pick(2) == 0)
                c.wantDistrict = "d" + std::to_string(pick(4));
        }
        return c;
    };
    MatchPool pool;
    std::map<int32_t, Waiting> waiting;
    std::set<uint64_t> arrivals; // every arrival differs, so the longest wait is never a tie
    uint64_t latest = 1000000;
    int32_t nextId = 1;
    for (int step = 0; step < 6000; ++step) {
        // Grow to a few hundred users, drain, then grow again from an emptied pool.
        const bool draining = step >= 2500 && step < 4000;
        const int op = pick(10);
        if (step == 4000) {
            pool.Clear();
            waiting.clear();
            ASSERT_EQ(pool.size(), 0u);
        } else if (!waiting.empty() && (draining ? op < 8 : op < 3)) {
            auto it = std::next(waiting.begin(), pick(int(waiting.size())));
            pool.Remove(it->first);
            waiting.erase(it);
        } else if (!waiting.empty() && op < 5) {
            auto it = std::next(waiting.begin(), pick(int(waiting.size())));
            pool.Relax(it->first);
            it->second.relaxed = true;
        } else {
            uint64_t arrival = ++latest;
            if (pick(6) == 0) { // an earlier arrival, filed before later ones
                const uint64_t earlier = latest - 1 - uint64_t(pick(5000));
                if (!arrivals.count(earlier))
                    arrival = earlier;
            }
            arrivals.insert(arrival);
            // Now and then an id that waits already: its user is replaced, unrelaxed.
            const int32_t id = !waiting.empty() && pick(10) == 0
                                   ? std::next(waiting.begin(), pick(int(waiting.size())))->first
                                   : nextId++;
            const MatchCandidate c = randomCandidate();
            pool.Add(id, c, arrival);
            waiting[id] = Waiting{c, arrival};
        }
        const MatchCandidate seeker = randomCandidate();
        ASSERT_EQ(pool.FindSameTopic(seeker), test::ScanForPartner(waiting, seeker, false))
            << "step " << step;
        ASSERT_EQ(pool.FindRelaxed(seeker), test::ScanForPartner(waiting, seeker, true))
            << "step " << step;
        ASSERT_EQ(pool.size(), waiting.size()) << "step " << step;
        if (step % 97 == 0) {
            for (const auto& [id, w] : waiting)
                ASSERT_EQ(pool.IsRelaxed(id), w.relaxed) << "step " << step << " id " << id;
        }
    }
}

} // namespace
} // namespace vessaro::test
