#include "ServerUnderTest.h"
#include "ClientSwarm.h"
#include "ProfileMaker.h"
#include "UdpSocket.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vessaro::bench {
namespace {

TEST(ParseReadyLineTest, ReadsTheAddressAndPortsOfTheReadyLineOnly) {
    struct Case {
        const char* line;
        std::optional<ReadyLine> ready;
    };
    const Case cases[] = {
        {"vessaro-server: ready on 127.0.0.1:40123 (http off, metrics off)",
         ReadyLine{"127.0.0.1", 40123, 0}},
        {"vessaro-server: ready on 0.0.0.0:1 [::]:1 (http 8080, metrics 127.0.0.1:9100)",
         ReadyLine{"0.0.0.0", 1, 8080}},
        {"vessaro-server: ready on [::1]:13366 (http 65535)", ReadyLine{"::1", 13366, 65535}},
        {"vessaro-server: stopped", std::nullopt},
        {"vessaro-server: ready on 127.0.0.1: (http off)", std::nullopt},
        {"vessaro-server: ready on 127.0.0.1:0 (http off)", std::nullopt},
        {"vessaro-server: ready on 127.0.0.1:70000 (http off)", std::nullopt},
        {"vessaro-server: ready on 127.0.0.1:12x (http off)", std::nullopt},
        {"vessaro-server: ready on 127.0.0.1:5 (http 0)", std::nullopt},
        {"vessaro-server: ready on 127.0.0.1:5 (http -1)", std::nullopt},
        {"vessaro-server: ready on 127.0.0.1:5", std::nullopt},
        {"vessaro-server: ready on localhost (http off)", std::nullopt},
        {"vessaro-server: ready on :5 (http off)", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<ReadyLine> ready = ParseReadyLine(c.line);
        ASSERT_EQ(ready.has_value(), c.ready.has_value()) << c.line;
        if (ready) {
            EXPECT_EQ(ready->address, c.ready->address) << c.line;
            EXPECT_EQ(ready->port, c.ready->port) << c.line;
            EXPECT_EQ(ready->httpPort, c.ready->httpPort) << c.line;
        }
    }
}

// The launcher reports the ready line, the end of the child and its exit code as they happen.
TEST(ServerLaunchTest, ReportsReadinessAndTheEndOfTheChild) {
    ServerLaunch ready("/bin/sh", {"-c", "echo starting; echo 'vessaro-server: ready on "
                                         "127.0.0.1:5 (http 7, metrics off)'; exec sleep 30"});
    std::optional<ReadyLine> line = ready.WaitReady();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->port, 5);
    EXPECT_EQ(line->httpPort, 7);
    EXPECT_TRUE(ready.running());
    EXPECT_EQ(ready.output(),
              "starting\nvessaro-server: ready on 127.0.0.1:5 (http 7, metrics off)\n");
    ready.Signal(SIGTERM);
    EXPECT_EQ(ready.Wait(), 128 + SIGTERM);
    EXPECT_FALSE(ready.running());

    ServerLaunch silent("/bin/sh", {"-c", "echo not ready; exit 4"});
    EXPECT_FALSE(silent.WaitReady());
    EXPECT_EQ(silent.Wait(), 4);
    EXPECT_EQ(silent.output(), "not ready\n");

    ServerLaunch missing("/nonexistent/vessaro-server", {});
    EXPECT_FALSE(missing.WaitReady());
    EXPECT_EQ(missing.Wait(), 127);
}

TEST(BenchReadProcessUsageTest, ReadsMemoryAndCpuOfALiveProcessOnly) {
    std::optional<ProcessUsage> self = ReadProcessUsage(getpid());
    ASSERT_TRUE(self);
    EXPECT_GT(self->rssMegabytes, 0.1);
    EXPECT_GE(self->cpuSeconds, 0.0);
    EXPECT_FALSE(ReadProcessUsage(999999999));
}

TEST(BenchSocketDropsTest, ReadsTheDropsOfSocketsOnThePortOnly) {
    struct Case {
        const char* line;
        std::optional<uint64_t> drops;
    };
    const char* kLine = " 1019: 0100007F:ADA5 00000000:0000 07 00000000:00488640 00:00000000 "
                        "00000000     0        0 123456 2 0000000000000000 3622";
    const Case cases[] = {
        {kLine, 3622},
        {"   7: 00000000:ADA5 00000000:0000 07 00000000:00000000 00:00000000 00000000     0 0 "
         "99 2 0000000000000000 0",
         0},
        {"  12: 00000000000000000000000001000000:ADA5 00000000000000000000000000000000:0000 07 "
         "00000000:00000000 00:00000000 00000000 0 0 77 2 0000000000000000 12",
         12},
        // Another port, the heading, cut short, and fields that are not what they should be.
        {" 1019: 0100007F:ADA6 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 1 2 "
         "0000000000000000 5",
         std::nullopt},
        {"   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
         "timeout inode ref pointer drops",
         std::nullopt},
        {" 1019: 0100007F:ADA5 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 1 2",
         std::nullopt},
        {" 1019: 0100007F:ADA5 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 1 2 "
         "0000000000000000 -5",
         std::nullopt},
        {" 1019: 0100007F:ADZ5 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 1 2 "
         "0000000000000000 5",
         std::nullopt},
        {" 1019: 0100007F:1ADA5 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 1 2 "
         "0000000000000000 5",
         std::nullopt},
        {"1019 0100007F:ADA5 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 1 2 "
         "0000000000000000 5",
         std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SocketDropsFromLine(c.line, 0xADA5), c.drops) << c.line;
    // A socket of this process: listed, and nothing dropped yet.
    UdpSocket socket;
    EXPECT_EQ(ReadSocketDrops(socket.local().port), std::optional<uint64_t>(0));
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
