#include "ClientSwarm.h"
#include "WireTransform.h"

#include <array>
#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace vessaro::bench {
namespace {

// A stand-in server that ignores the first connect of every client and grants the repeat, as a
// busy server's full receive buffer would.
class ForgetfulServer {
public:
    ForgetfulServer() : thread_([this] { Run(); }) {}
    ~ForgetfulServer() {
        stop_ = true;
        thread_.join();
    }
    UdpAddress address() const { return socket_.local(); }

private:
    void Run() {
        std::array<uint8_t, 4096> buffer;
        std::set<uint64_t> heard;
        while (!stop_) {
            if (!socket_.WaitReadable(20))
                continue;
            UdpAddress from;
            std::optional<std::size_t> n = socket_.Receive(buffer, &from);
            if (!n)
                continue;
            CommInvertBytes(buffer.data(), buffer.data(), int(*n));
            if (DatagramView(buffer.data(), *n).type() != MSG_CONNECT)
                continue;
            if (heard.insert(uint64_t(from.address) << 16 | from.port).second)
                continue; // the first one is lost
            auto ack = BuildConnectAck(int32_t(from.port), 1);
            CommInvertBytes(ack.data(), ack.data(), int(ack.size()));
            socket_.SendTo(from, ack);
        }
    }

    UdpSocket socket_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(BenchClientSwarmTest, RepeatsLostConnectsUntilEveryClientHasASession) {
    ForgetfulServer server;
    ClientSwarm swarm;
    ASSERT_TRUE(swarm.Open(10, server.address()));
    EXPECT_EQ(swarm.ConnectAll(4, std::chrono::seconds(20)), 10u);
    for (std::size_t i = 0; i < swarm.size(); ++i) {
        EXPECT_EQ(swarm[i].phase(), SimClient::Phase::Idle);
        EXPECT_EQ(swarm[i].sessionId(), int32_t(swarm[i].socket().local().port));
    }
}

TEST(BenchClientSwarmTest, GivesUpAtTheTimeOutWhenNobodyAnswers) {
    UdpSocket silent;
    ClientSwarm swarm;
    ASSERT_TRUE(swarm.Open(3, silent.local()));
    EXPECT_EQ(swarm.ConnectAll(8, std::chrono::milliseconds(300)), 0u);
    EXPECT_EQ(swarm[0].phase(), SimClient::Phase::Connecting);
}

} // namespace
} // namespace vessaro::bench
