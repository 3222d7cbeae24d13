// The server dies without a word and a new one, knowing nothing, starts on the same address 2 s
// later. Two auto-matching users who were talking learn once that the server was lost, end their
// conversation once, connect again on the reconnect schedule and are talking again within 15 s of
// the death, for every seed of a network with jitter and some loss.
#include "SimUser.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vessaro::test {
namespace {

class RestartSim : public ::testing::TestWithParam<uint64_t> {};

TEST_P(RestartSim, TalkingUsersEndOnceReconnectAndTalkAgain) {
    Simulation sim(GetParam(), ServerConfig{}, Impairment{0.02, 0.0, 5, 30});
    SimClient& a = sim.AddClient();
    SimClient& b = sim.AddClient();
    MakeAutoPair(sim, a, b);
    a.engine().Connect();
    b.engine().Connect();
    auto bothTalking = [&] { return BothTalking(a, b); };
    ASSERT_TRUE(sim.RunUntil(bothTalking, 30000));

    sim.StopServer();
    const uint64_t died = sim.nowMs();
    sim.RunFor(2000);
    sim.StartServer();
    auto talkingAgain = [&] {
        return bothTalking() && a.Count(EVT_TALK_STARTED) == 2 && b.Count(EVT_TALK_STARTED) == 2;
    };
    ASSERT_TRUE(sim.RunUntil(talkingAgain, 13000))
        << "states " << a.state() << ", " << b.state() << " at +" << sim.nowMs() - died << " ms";
    std::printf("seed %llu: talking again %llu ms after the server died\n",
                (unsigned long long)GetParam(), (unsigned long long)(sim.nowMs() - died));

    for (SimClient* client : {&a, &b}) {
        // Lost once: the conversation ends, then the session; nothing else ends in between.
        EXPECT_EQ(client->Codes({EVT_SERVER_LOST, EVT_TALK_ENDED, EVT_DISCONNECTED}),
                  (std::vector<int32_t>{EVT_SERVER_LOST, EVT_TALK_ENDED, EVT_DISCONNECTED}));
        EXPECT_GE(client->Count(EVT_CONNECTED), 2u);
    }
    EXPECT_EQ(sim.server().Stats().conversations, 1u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RestartSim, ::testing::Values(1, 2, 3, 4, 5, 6),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });

} // namespace
} // namespace vessaro::test
