#include "EndpointSwarm.h"
#include "Messages.h"
#include "Placement.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"
#include "WireTransform.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace vessaro::bench {
namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

TEST(BenchSpreadAddressTest, MapsIndexesToUsableLoopbackHostsAndBack) {
    struct Case {
        uint32_t index;
        uint32_t address;
    };
    const Case cases[] = {
        {0, Ip(127, 1, 0, 1)},
        {253, Ip(127, 1, 0, 254)},
        {254, Ip(127, 1, 1, 1)},
        {kSpreadAddresses - 1, Ip(127, 1, 255, 254)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SpreadAddress(c.index), c.address) << c.index;
        EXPECT_EQ(SpreadIndex(c.address), int64_t(c.index)) << c.index;
    }
    EXPECT_EQ(SpreadAddress(kSpreadAddresses), 0u);
    // Replies to anything else (the server's own address, a network or broadcast host, another
    // network) are not the swarm's.
    for (uint32_t foreign : {Ip(127, 0, 0, 1), Ip(127, 1, 0, 0), Ip(127, 1, 7, 255),
                             Ip(127, 2, 0, 1), Ip(127, 0, 255, 1), Ip(10, 1, 0, 1), 0u})
        EXPECT_EQ(SpreadIndex(foreign), -1) << std::hex << foreign;
}

// The trick the swarm rests on: one socket bound to 0.0.0.0 sends from any loopback address and
// learns which address each reply came to.
TEST(BenchDatagramBatchTest, WildcardSocketSendsFromAndReceivesAtChosenLoopbackAddresses) {
    UdpSocket wildcard(0, 0);
    ASSERT_TRUE(wildcard.valid());
    ASSERT_TRUE(EnableLocalAddress(wildcard.fd()));
    UdpSocket peer;
    DatagramBatch out;
    const uint32_t sources[] = {Ip(127, 1, 3, 7), Ip(127, 1, 200, 1)};
    for (uint32_t from : sources)
        out.Add(peer.local(), 3, from)[0] = uint8_t(from);
    ASSERT_EQ(out.Send(wildcard.fd()), 2);
    for (uint32_t from : sources) {
        ASSERT_TRUE(peer.WaitReadable(5000));
        std::array<uint8_t, 16> buffer;
        UdpAddress sender;
        ASSERT_EQ(peer.Receive(buffer, &sender), std::optional<std::size_t>(3));
        EXPECT_EQ(sender.address, from);
        EXPECT_EQ(buffer[0], uint8_t(from));
        ASSERT_TRUE(peer.SendTo(sender, std::vector<uint8_t>{9, 9}));
    }
    DatagramBatch in;
    int got = 0;
    for (int tries = 0; got < 2 && tries < 500; ++tries) {
        if (in.Receive(wildcard.fd()) == 0) {
            wildcard.WaitReadable(10);
            continue;
        }
        for (int i = 0; i < in.size(); ++i, ++got) {
            EXPECT_EQ(in.local(i), sources[got]);
            EXPECT_EQ(in.peer(i), peer.local());
            EXPECT_EQ(in.data(i).size(), 2u);
        }
    }
    EXPECT_EQ(got, 2);
}

// Against a real server: every endpoint gets its session, proves it by answering the notice, and
// waits for a partner; nobody is refused or given up on.
TEST(BenchEndpointSwarmTest, EveryEndpointConnectsProvesItselfAndWaits) {
    constexpr std::size_t kCount = 300;
    ServerUnderTest server(VESSARO_SERVER_PATH, SwarmServerArguments(kCount));
    ASSERT_TRUE(server.ready()) << server.error();
    EndpointSwarm swarm(kCount, {LoopbackAddress(), server.port()}, true);
    ASSERT_TRUE(swarm.valid());
    std::atomic<bool> stop{false};
    std::thread runner([&] { swarm.Run(2, 64, [&] { return stop.load(); }); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!swarm.settled() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    runner.join();
    const SwarmCounts& c = swarm.counts();
    EXPECT_EQ(c.granted.load(), kCount);
    EXPECT_EQ(c.waiting.load(), kCount);
    EXPECT_EQ(c.refused.load() + c.restarts.load() + c.closed.load(), 0u);
    EXPECT_GE(c.notices.load(), kCount);
}

// A server that grants every connect and acknowledges every request, except that for its first
// moments it leaves connects or requests unanswered, as a server that has fallen behind does.
class DeafAtFirstServer {
public:
    DeafAtFirstServer(bool deafToConnects, bool deafToRequests)
        : deafToConnects_(deafToConnects), deafToRequests_(deafToRequests),
          thread_([this] { Serve(); }) {}
    ~DeafAtFirstServer() {
        stop_ = true;
        thread_.join();
    }
    UdpAddress address() const { return socket_.local(); }

private:
    void Serve() {
        const auto hearing = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
        std::array<uint8_t, 2048> buffer;
        int32_t nextId = 1;
        while (!stop_) {
            if (!socket_.WaitReadable(10))
                continue;
            UdpAddress from;
            const std::optional<std::size_t> size = socket_.Receive(buffer, &from);
            if (!size)
                continue;
            CommInvertBytes(buffer.data(), buffer.data(), int(*size));
            const DatagramView m(std::span<const uint8_t>(buffer.data(), *size));
            const bool deaf = std::chrono::steady_clock::now() < hearing;
            if (m.type() == MSG_CONNECT && !(deaf && deafToConnects_))
                Reply(from, BuildConnectAck(nextId++, 1));
            else if (m.type() == MSG_MATCH_REQUEST && !(deaf && deafToRequests_))
                Reply(from, BuildControl(MSG_MATCH_REQUEST_ACK, m.sessionId()));
        }
    }
    template <std::size_t N>
    void Reply(const UdpAddress& to, DatagramBytes<N> plain) {
        CommInvertBytes(plain.data(), plain.data(), int(N));
        socket_.SendTo(to, plain);
    }

    UdpSocket socket_;
    bool deafToConnects_;
    bool deafToRequests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Endpoints left unanswered rest and start again until the server answers: in the end every one
// waits, each session counted open once however often it started.
TEST(BenchEndpointSwarmTest, EndpointsLeftUnansweredStartAgainUntilAllWait) {
    constexpr std::size_t kCount = 40;
    for (const bool connects : {true, false}) {
        DeafAtFirstServer server(connects, !connects);
        EndpointSwarm swarm(kCount, server.address(), true);
        ASSERT_TRUE(swarm.valid());
        swarm.SetPace({std::chrono::milliseconds(15), 3});
        std::atomic<bool> stop{false};
        std::thread runner([&] { swarm.Run(1, kCount, [&] { return stop.load(); }); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!swarm.settled() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop = true;
        runner.join();
        const SwarmCounts& c = swarm.counts();
        EXPECT_EQ(c.waitingNow.load(), kCount) << connects;
        EXPECT_EQ(c.open.load(), kCount) << connects;
        EXPECT_GT(c.restarts.load(), 0u) << connects;
    }
}

TEST(BenchPlacementTest, ListsCpusAsRanges) {
    EXPECT_EQ(CpuList({0}), "0");
    EXPECT_EQ(CpuList({1, 2, 3}), "1-3");
    EXPECT_EQ(CpuList({0, 2, 3, 5}), "0,2-3,5");
    const Placement p = Placement::Choose();
    ASSERT_EQ(p.measured.size(), 1u);
    EXPECT_FALSE(p.generator.empty());
}

} // namespace
} // namespace vessaro::bench
