// Connects forged with the addresses of 10,000 victims in forty /24 networks arrive at 5,000 a
// second for 5 s while two real users connect, match and start talking. The address proof keeps
// the server from being an amplifier: each victim network receives about 1 KB/s at most, a victim
// of a single forged connect under 1 KB in all, and the table of unproven grants stays bounded.
#include "SimUser.h"

#include <gtest/gtest.h>

#include <map>

namespace vessaro::test {
namespace {

constexpr uint32_t kForgedBase = 0x0B010000; // 11.1.0.0
constexpr uint32_t kForgedAddresses = 10000;
constexpr uint32_t kLoneVictim = 0x0B090001; // 11.9.0.1: one forged connect, nothing else
constexpr int kConnectsPerMs = 5;
constexpr uint64_t kFloodMs = 5000;
constexpr uint64_t kAfterMs = 1500; // the last notice copies to the lone victim

class ForgedConnectFloodSim : public ::testing::TestWithParam<uint64_t> {};

TEST_P(ForgedConnectFloodSim, VictimsGetLittleAndRealUsersStillTalk) {
    ServerConfig config;
    Simulation sim(GetParam(), config, Impairment{0.0, 0.0, 2, 5});
    SimClient& a = sim.AddClient();
    SimClient& b = sim.AddClient();
    MakeAutoPair(sim, a, b);
    const auto connect = BuildControl(MSG_CONNECT);
    sim.Forge(Endpoint(kLoneVictim, 7000), Simulation::kServerAddress, connect);

    uint32_t next = 0;
    std::size_t peakUnproven = 0;
    for (uint64_t ms = 0; ms < kFloodMs; ++ms) {
        if (ms == 1000) { // the flood is under way
            a.engine().Connect();
            b.engine().Connect();
        }
        for (int i = 0; i < kConnectsPerMs; ++i, ++next)
            sim.Forge(Endpoint(kForgedBase + next % kForgedAddresses, 7000),
                      Simulation::kServerAddress, connect);
        sim.RunFor(1);
        peakUnproven = std::max(peakUnproven, sim.server().Stats().unprovenSessions);
    }
    sim.RunFor(kAfterMs);

    EXPECT_EQ(a.state(), CLIENT_STATE_TALKING);
    EXPECT_EQ(b.state(), CLIENT_STATE_TALKING);
    EXPECT_LE(peakUnproven, config.maxUnproven);
    EXPECT_LE(sim.BytesArrivedAt(kLoneVictim), 1024u);
    EXPECT_GT(sim.BytesArrivedAt(kLoneVictim), 0u) << "the lone victim was never answered";
    std::map<uint32_t, uint64_t> perNetwork;
    for (uint32_t i = 0; i < kForgedAddresses; ++i)
        perNetwork[(kForgedBase + i) >> 8] += sim.BytesArrivedAt(kForgedBase + i);
    const double seconds = double(kFloodMs + kAfterMs) / 1000.0;
    const double allowance =
        config.unprovenBytesPerSecondPerNetwork * (seconds + 2.0); // the rate and its burst
    for (const auto& [network, bytes] : perNetwork)
        EXPECT_LE(double(bytes), allowance) << "network " << (network >> 16) << "."
                                            << ((network >> 8) & 0xFF) << "." << (network & 0xFF);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ForgedConnectFloodSim, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });

} // namespace
} // namespace vessaro::test
