// One address floods the server with garbage, connects, match requests and texts with guessed ids,
// 10,000 datagrams a second for 3 s, while two users chat line by line: every line is confirmed
// and shown, the conversation goes on, and what the server holds stays bounded.
#include "SimUser.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vessaro::test {
namespace {

constexpr int kFloodPerMs = 10;
constexpr uint64_t kFloodMs = 3000;

class FloodSim : public ::testing::TestWithParam<uint64_t> {};

// One flood datagram: the kinds in turn, ids and garbage from the seeded source.
std::vector<uint8_t> FloodDatagram(uint64_t n, std::mt19937_64& random) {
    const int32_t guess = int32_t(random());
    std::vector<uint8_t> bytes;
    switch (n % 4) {
    case 0:
        bytes.resize(random() % 700);
        for (uint8_t& byte : bytes)
            byte = uint8_t(random());
        return bytes;
    case 1: {
        auto m = BuildControl(MSG_CONNECT);
        return {m.begin(), m.end()};
    }
    case 2: {
        auto m = BuildMatchRequest(guess, EmptyProfile(), EmptyRequirement());
        return {m.begin(), m.end()};
    }
    default: {
        auto m = BuildTalkText(guess, guess, 1, MakeTalkText("flood"));
        return {m.begin(), m.end()};
    }
    }
}

bool Settled(const SimClient& client, uint32_t id) {
    for (int32_t code : {EVT_TEXT_CONFIRMED, EVT_TEXT_FAILED}) {
        const std::vector<uint32_t> ids = client.TextIds(code);
        if (std::find(ids.begin(), ids.end(), id) != ids.end())
            return true;
    }
    return false;
}

TEST_P(FloodSim, TwoUsersChatOnWhileOneAddressFloodsTheServer) {
    ServerConfig config;
    Simulation sim(GetParam(), config, Impairment{0.0, 0.0, 2, 5});
    SimClient& a = sim.AddClient();
    SimClient& b = sim.AddClient();
    MakeAutoPair(sim, a, b);
    a.engine().Connect();
    b.engine().Connect();
    ASSERT_TRUE(sim.RunUntil([&] { return BothTalking(a, b); }, 30000));

    const Endpoint flooder(0x0A630001, 6000); // 10.99.0.1
    std::mt19937_64 random(GetParam());
    uint64_t flooded = 0;
    int lines = 0;
    SimClient* speaker = nullptr; // of the line on its way
    uint32_t pending = 0;
    std::size_t peakSessions = 0, peakUnproven = 0, peakWaiting = 0;
    for (uint64_t ms = 0; ms < kFloodMs; ++ms) {
        if (!speaker || Settled(*speaker, pending)) {
            // The other user says the next line once the previous one has settled.
            speaker = lines % 2 == 0 ? &a : &b;
            pending = speaker->engine().PostText(MakeTalkText("line " + std::to_string(lines++)));
            ASSERT_NE(pending, 0u);
        }
        for (int i = 0; i < kFloodPerMs; ++i, ++flooded)
            sim.Forge(flooder, Simulation::kServerAddress, FloodDatagram(flooded, random));
        sim.RunFor(1);
        const ServerStats stats = sim.server().Stats();
        peakSessions = std::max(peakSessions, stats.sessions);
        peakUnproven = std::max(peakUnproven, stats.unprovenSessions);
        peakWaiting = std::max(peakWaiting, stats.waiting);
    }
    sim.RunFor(2000);

    EXPECT_GE(lines, 20);
    for (SimClient* client : {&a, &b}) {
        EXPECT_TRUE(client->TextIds(EVT_TEXT_FAILED).empty());
        EXPECT_EQ(client->Count(EVT_TALK_ENDED), 0u);
        EXPECT_EQ(client->state(), CLIENT_STATE_TALKING);
    }
    EXPECT_EQ(a.TextsShown().size() + b.TextsShown().size(), std::size_t(lines));
    // The flooder proves nothing, so it holds no session; what it got granted is capped.
    EXPECT_EQ(peakSessions, 2u);
    EXPECT_LE(peakUnproven, config.maxSessionsPerAddress);
    EXPECT_EQ(peakWaiting, 0u);
    EXPECT_EQ(sim.server().Stats().conversations, 1u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, FloodSim, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });

} // namespace
} // namespace vessaro::test
