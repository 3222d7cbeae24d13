#include "ClientTransport.h"
#include "MessageLog.h"
#include "Messages.h"
#include "Timers.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace std::chrono_literals;
using vessaro::DatagramView;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

// The process-wide transport starts once per process; every test here shares it, started towards
// a socket that plays the matching server.
namespace {

MessageLog dispatched;

void Dispatch(const uint8_t* message, std::size_t length) {
    dispatched.Add(message, length);
}

class ClientTransportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (server)
            return; // started already (the suite runs again under --gtest_repeat)
        server = new UdpPeer;
        ASSERT_TRUE(server->ok());
        vessaro::SetMessageDispatcher(Dispatch);
        ASSERT_EQ(vessaro::ClientStart("127.0.0.1", server->port()), 0);
    }
    void SetUp() override { dispatched.Clear(); }

    // The next message handed to the dispatcher after `before` others.
    static Bytes NextDispatched(std::size_t before = 0) {
        EXPECT_TRUE(dispatched.WaitForCount(before + 1));
        auto all = dispatched.Messages();
        return all.size() > before ? all[before] : Bytes{};
    }

    static inline UdpPeer* server = nullptr; // lives as long as the transport
};

Bytes Plain(std::span<const uint8_t> bytes) {
    return Bytes(bytes.begin(), bytes.end());
}

} // namespace

TEST_F(ClientTransportTest, StoresTheServerAndItsOwnPort) {
    EXPECT_STREQ(vessaro::ServerIpText(), "127.0.0.1");
    EXPECT_EQ(vessaro::ServerPort(), server->port());
    EXPECT_NE(vessaro::ClientLocalPort(), 0);
}

TEST_F(ClientTransportTest, ASecondStartIsRefusedAndChangesNothing) {
    uint16_t localPort = vessaro::ClientLocalPort();
    EXPECT_EQ(vessaro::ClientStart("localhost", 9), -1);
    EXPECT_STREQ(vessaro::ServerIpText(), "127.0.0.1");
    EXPECT_EQ(vessaro::ServerPort(), server->port());
    EXPECT_EQ(vessaro::ClientLocalPort(), localPort);
}

TEST_F(ClientTransportTest, SendsToTheServerComplemented) {
    auto connect = vessaro::BuildControl(vessaro::MSG_CONNECT);
    ASSERT_EQ(vessaro::SendToServer(connect.data(), 36), 0);
    Bytes expected = {0xFE, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF};
    expected.resize(36, 0xFF);
    EXPECT_EQ(server->Receive(), expected);

    Bytes tooLong(4097, 0);
    EXPECT_EQ(vessaro::SendToServer(tooLong.data(), 4097), -1);
}

TEST_F(ClientTransportTest, AServerDatagramReachesTheDispatcherWholeAndStamped) {
    auto ack = vessaro::BuildConnectAck(77, 1);
    Bytes plain = Plain(ack);
    plain.resize(50, 0x3C);                   // longer than its type needs: kept whole
    std::memset(plain.data() + 16, 0x61, 20); // what the server put in the stamp fields
    EXPECT_TRUE(server->SendTo(vessaro::ClientLocalPort(), Complemented(plain)));

    Bytes got = NextDispatched();
    ASSERT_EQ(got.size(), 50u);
    DatagramView view(got.data(), got.size());
    EXPECT_EQ(view.type(), vessaro::MSG_CONNECT_ACK);
    EXPECT_EQ(view.sessionId(), 77);
    EXPECT_EQ(view.connectResult(), 1);
    EXPECT_EQ(view.senderAddress(), "127.0.0.1");
    EXPECT_EQ(view.senderPort(), server->port());
    EXPECT_EQ(Bytes(got.begin() + 26, got.begin() + 32), Bytes(6, 0x61));
    EXPECT_EQ(got[34], 0x61);
    EXPECT_EQ(got[35], 0x61);
    EXPECT_EQ(Bytes(got.begin() + 40, got.end()), Bytes(10, 0x3C));
}

TEST_F(ClientTransportTest, ForgedTicksAndShortMessagesFromTheNetworkNeverReachTheDispatcher) {
    auto forgedTick = vessaro::BuildTimerTick(2);
    EXPECT_TRUE(server->SendTo(vessaro::ClientLocalPort(), Complemented(forgedTick)));
    Bytes shortAck = Plain(vessaro::BuildConnectAck(5, 1));
    shortAck.resize(38); // the result field is cut off
    EXPECT_TRUE(server->SendTo(vessaro::ClientLocalPort(), Complemented(shortAck)));
    auto probe = vessaro::BuildControl(vessaro::MSG_TALK_PROBE, 5);
    EXPECT_TRUE(server->SendTo(vessaro::ClientLocalPort(), Complemented(probe)));

    Bytes got = NextDispatched();
    EXPECT_EQ(DatagramView(got.data(), got.size()).type(), vessaro::MSG_TALK_PROBE);
    EXPECT_EQ(dispatched.Count(), 1u);
}

TEST_F(ClientTransportTest, EngineTimersReachTheDispatcherAsFortyByteTicks) {
    vessaro::TimerHandle killed = vessaro::TimerSet(20, 1, vessaro::OnTimerTick);
    EXPECT_TRUE(vessaro::TimerKill(killed));
    EXPECT_FALSE(vessaro::TimerKill(killed));
    vessaro::TimerSet(60, 9, vessaro::OnTimerTick);

    Bytes tick = NextDispatched();
    Bytes expected = Plain(vessaro::BuildTimerTick(9));
    EXPECT_EQ(tick, expected);
    ASSERT_EQ(tick.size(), 40u);
    EXPECT_EQ(tick[0], 3);
    EXPECT_EQ(tick[4], 26);
    EXPECT_EQ(Bytes(tick.begin() + 8, tick.begin() + 36), Bytes(28, 0));
    EXPECT_EQ(tick[36], 9);
    EXPECT_EQ(dispatched.Count(), 1u);
}

TEST_F(ClientTransportTest, TicksAndServerDatagramsArriveOneAfterAnotherInOrder) {
    for (int i = 0; i < 20; ++i) {
        auto probe = vessaro::BuildControl(vessaro::MSG_TALK_PROBE, i);
        EXPECT_TRUE(server->SendTo(vessaro::ClientLocalPort(), Complemented(probe)));
        ASSERT_TRUE(dispatched.WaitForCount(2 * i + 1));
        vessaro::OnTimerTick(static_cast<uint32_t>(i));
        ASSERT_TRUE(dispatched.WaitForCount(2 * i + 2));
    }
    auto all = dispatched.Messages();
    ASSERT_EQ(all.size(), 40u);
    for (int i = 0; i < 20; ++i) {
        DatagramView probe(all[2 * i].data(), all[2 * i].size());
        DatagramView tick(all[2 * i + 1].data(), all[2 * i + 1].size());
        EXPECT_EQ(probe.sessionId(), i);
        EXPECT_EQ(tick.timerTag(), static_cast<uint32_t>(i));
    }
}
