// Two users send 200 lines each way at once over a network that loses, or duplicates and
// reorders, datagrams. Every line is either confirmed to its sender and shown once to the partner,
// or reported failed to its sender; no line is shown twice or out of order, and no line is lost
// without a word. Several seeds of each network.
#include "SimUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>

namespace vessaro::test {
namespace {

constexpr int kLines = 200;

struct Network {
    const char* name;
    Impairment impairment;
};

struct LossCase {
    Network network;
    uint64_t seed;
};

// Readable in ctest's listing: the network and the seed, not the case's bytes.
void PrintTo(const LossCase& c, std::ostream* out) {
    *out << c.network.name << " seed " << c.seed;
}

class LossyNetworkSim : public ::testing::TestWithParam<LossCase> {};

std::string Line(const char* who, int i) {
    return std::string(who) + " line " + std::to_string(i);
}

// What the partner showed from this sender, checked against what the sender was told.
void ExpectEveryLineAccountedFor(const SimClient& sender, const char* who,
                                 const std::vector<uint32_t>& ids, const SimClient& partner) {
    const std::vector<uint32_t> confirmed = sender.TextIds(EVT_TEXT_CONFIRMED);
    const std::vector<uint32_t> failed = sender.TextIds(EVT_TEXT_FAILED);
    std::multiset<uint32_t> settled(confirmed.begin(), confirmed.end());
    settled.insert(failed.begin(), failed.end());
    EXPECT_EQ(settled, std::multiset<uint32_t>(ids.begin(), ids.end()))
        << who << ": every posted line settles exactly once";

    // The lines shown, by their number: increasing (so once each and in order).
    std::vector<int> shown;
    for (const std::string& text : partner.TextsShown()) {
        for (int i = 0; i < kLines; ++i)
            if (text == Line(who, i))
                shown.push_back(i);
    }
    EXPECT_TRUE(std::adjacent_find(shown.begin(), shown.end(), std::greater_equal<int>()) ==
                shown.end())
        << who << ": a line was shown twice or out of order";
    for (uint32_t id : confirmed) {
        const int i = int(std::find(ids.begin(), ids.end(), id) - ids.begin());
        EXPECT_TRUE(std::binary_search(shown.begin(), shown.end(), i))
            << who << ": line " << i << " confirmed but never shown";
    }
}

TEST_P(LossyNetworkSim, EveryLineIsShownOnceInOrderOrReportedFailed) {
    Simulation sim(GetParam().seed);
    SimClient& a = sim.AddClient();
    SimClient& b = sim.AddClient();
    MakeAutoPair(sim, a, b);
    a.engine().Connect();
    b.engine().Connect();
    ASSERT_TRUE(sim.RunUntil([&] { return BothTalking(a, b); }, 30000));

    sim.network().SetImpairment(GetParam().network.impairment);
    std::vector<uint32_t> idsOfA, idsOfB;
    for (int i = 0; i < kLines; ++i) {
        idsOfA.push_back(a.engine().PostText(MakeTalkText(Line("a", i))));
        idsOfB.push_back(b.engine().PostText(MakeTalkText(Line("b", i))));
    }
    ASSERT_EQ(std::count(idsOfA.begin(), idsOfA.end(), 0u) +
                  std::count(idsOfB.begin(), idsOfB.end(), 0u),
              0)
        << "a line was refused while talking";
    auto settled = [&](const SimClient& c) {
        return c.TextIds(EVT_TEXT_CONFIRMED).size() + c.TextIds(EVT_TEXT_FAILED).size() >=
               std::size_t(kLines);
    };
    ASSERT_TRUE(sim.RunUntil([&] { return settled(a) && settled(b); }, 600000));
    sim.RunFor(5000); // late copies still on the way

    ExpectEveryLineAccountedFor(a, "a", idsOfA, b);
    ExpectEveryLineAccountedFor(b, "b", idsOfB, a);
    for (const SimClient* client : {&a, &b})
        EXPECT_EQ(client->state(), CLIENT_STATE_TALKING) << "the conversation did not survive";
    // The network is bad, not hopeless: nearly every line must get through.
    EXPECT_GE(a.TextIds(EVT_TEXT_CONFIRMED).size() + b.TextIds(EVT_TEXT_CONFIRMED).size(),
              std::size_t(kLines * 2 * 9 / 10));
}

const Network kLoss{"Loss5", Impairment{0.05, 0.0, 10, 20}};
const Network kDuplication{"Duplication20Reorder", Impairment{0.0, 0.20, 10, 80}};

INSTANTIATE_TEST_SUITE_P(Seeds, LossyNetworkSim,
                         ::testing::Values(LossCase{kLoss, 1}, LossCase{kLoss, 2},
                                           LossCase{kLoss, 3}, LossCase{kDuplication, 1},
                                           LossCase{kDuplication, 2}, LossCase{kDuplication, 3}),
                         [](const auto& info) {
                             return std::string(info.param.network.name) + "_Seed" +
                                    std::to_string(info.param.seed);
                         });

} // namespace
} // namespace vessaro::test
