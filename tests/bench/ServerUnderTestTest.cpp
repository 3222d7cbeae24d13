#include "ServerUnderTest.h"
#include "ClientSwarm.h"
#include "ProfileMaker.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace vessaro::bench {
namespace {

TEST(BenchParseReadyPortTest, ReadsThePortOfTheReadyLineOnly) {
    struct Case {
        const char* line;
        std::optional<uint16_t> port;
    };
    const Case cases[] = {
        {"vessaro-server: ready on 127.0.0.1:40123 (http off)", 40123},
        {"vessaro-server: ready on 0.0.0.0:1 (http 8080)", 1},
        {"vessaro-server: stopped", std::nullopt},
        {"ready on 127.0.0.1:", std::nullopt},
        {"ready on 127.0.0.1:0 (x)", std::nullopt},
        {"ready on 127.0.0.1:70000 (x)", std::nullopt},
        {"ready on localhost", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseReadyPort(c.line), c.port) << c.line;
}

TEST(BenchReadProcessUsageTest, ReadsMemoryAndCpuOfALiveProcessOnly) {
    std::optional<ProcessUsage> self = ReadProcessUsage(getpid());
    ASSERT_TRUE(self);
    EXPECT_GT(self->rssMegabytes, 0.1);
    EXPECT_GE(self->cpuSeconds, 0.0);
    EXPECT_FALSE(ReadProcessUsage(999999999));
}

TEST(BenchServerUnderTestTest, AMissingProgramIsReportedNotReady) {
    ServerUnderTest server("/nonexistent/vessaro-server");
    EXPECT_FALSE(server.ready());
    EXPECT_FALSE(server.error().empty());
}

// The whole chain the scenarios stand on: the real server with raised limits, many clients on
// two loopback addresses, sessions, a pair, and a text relayed and acknowledged.
TEST(BenchServerUnderTestTest, SimulatedClientsConnectPairAndTalkThroughTheRealServer) {
    ServerUnderTest server(VESSARO_SERVER_PATH);
    ASSERT_TRUE(server.ready()) << server.error();
    ClientSwarm swarm;
    ASSERT_TRUE(swarm.Open(6, {LoopbackAddress(), server.port()}, 3));
    EXPECT_NE(swarm[0].socket().local().address, swarm[5].socket().local().address);
    ASSERT_EQ(swarm.ConnectAll(4, std::chrono::seconds(20)), 6u);
    for (int side = 0; side < 2; ++side) {
        MatchRecords r = ProfileMaker::Pairable(0, side);
        swarm[std::size_t(side)].RequestMatch(r.profile, r.requirement);
    }
    auto talking = [&] {
        return swarm[0].phase() == SimClient::Phase::Talking &&
               swarm[1].phase() == SimClient::Phase::Talking;
    };
    ASSERT_TRUE(swarm.PumpUntil(talking, std::chrono::seconds(20)));
    swarm[0].SendText();
    ASSERT_TRUE(swarm.PumpUntil([&] { return !swarm[0].awaitingAck(); }, std::chrono::seconds(20)));
    EXPECT_EQ(swarm[1].textsReceived, 1u);
    EXPECT_EQ(swarm[2].phase(), SimClient::Phase::Idle);
    std::optional<ProcessUsage> usage = ReadProcessUsage(server.pid());
    ASSERT_TRUE(usage);
    EXPECT_GT(usage->rssMegabytes, 0.1);
}

} // namespace
} // namespace vessaro::bench
