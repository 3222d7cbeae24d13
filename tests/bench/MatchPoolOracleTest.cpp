// The waiting pool against a plain search over everyone who waits: after any mix of arrivals
// (some out of order), departures and relaxations, it must find exactly the longest-waiting
// compatible user.
#include "MatchPool.h"
#include "ProfileMaker.h"
#include "WaitingScan.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

namespace vessaro::bench {
namespace {

using test::ScanForPartner;
using Waiting = test::ScannedWaiter;

TEST(BenchMatchPoolOracleTest, FindsTheLongestWaitingCompatibleUserAfterAnyChanges) {
    MatchPool pool;
    std::map<int32_t, Waiting> waiting;
    ProfileMaker users(3);
    std::mt19937 random(9);
    uint64_t arrival = 1000;
    int32_t nextId = 1;
    for (int step = 0; step < 4000; ++step) {
        const uint32_t op = random() % 10;
        if (op < 5 || waiting.empty()) {
            // Mostly later arrivals; now and then an earlier one, which is filed before others.
            const uint64_t when = random() % 8 == 0 ? arrival - 1 - random() % 900 : ++arrival;
            MatchRecords r = users.Next();
            MatchCandidate c = MatchCandidate::From(r.profile, r.requirement);
            pool.Add(nextId, c, when);
            waiting[nextId++] = {c, when};
        } else {
            auto it = std::next(waiting.begin(), long(random() % waiting.size()));
            if (op < 8) {
                pool.Remove(it->first);
                waiting.erase(it);
            } else {
                pool.Relax(it->first);
                it->second.relaxed = true;
            }
        }
        MatchRecords r = users.Next();
        MatchCandidate seeker = MatchCandidate::From(r.profile, r.requirement);
        ASSERT_EQ(pool.FindSameTopic(seeker), ScanForPartner(waiting, seeker, false))
            << "step " << step;
        ASSERT_EQ(pool.FindRelaxed(seeker), ScanForPartner(waiting, seeker, true))
            << "step " << step;
    }
    EXPECT_EQ(pool.size(), waiting.size());
}

} // namespace
} // namespace vessaro::bench
