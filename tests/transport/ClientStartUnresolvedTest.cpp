#include "ClientTransport.h"
#include "MessageLog.h"
#include "Messages.h"
#include "Timers.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

// One process, one story: the transport before it starts, started towards a host that does not
// resolve, pointed at another server, then stopped.
namespace {

MessageLog dispatched;

void Dispatch(const uint8_t* message, std::size_t length) {
    dispatched.Add(message, length);
}

} // namespace

TEST(ClientStart, AHostThatDoesNotResolveLeavesTheThreadsRunningUntilStopped) {
    // Before the start: nothing to send with, nothing to stop.
    auto connect = vessaro::BuildControl(vessaro::MSG_CONNECT);
    EXPECT_EQ(vessaro::SendToServer(connect.data(), 36), -1);
    EXPECT_EQ(vessaro::ClientSetServer("127.0.0.1", 13366), -1) << "not started";
    EXPECT_EQ(vessaro::ClientLocalPort(), 0);
    EXPECT_STREQ(vessaro::ServerIpText(), "");
    vessaro::ClientStopThreads();

    vessaro::SetMessageDispatcher(Dispatch);
    EXPECT_EQ(vessaro::ClientStart("no such host", 13366), -1);
    EXPECT_STREQ(vessaro::ServerIpText(), "");
    EXPECT_EQ(vessaro::ServerPort(), 0);
    EXPECT_EQ(vessaro::SendToServer(connect.data(), 36), -1) << "no server to send to";
    ASSERT_NE(vessaro::ClientLocalPort(), 0);
    EXPECT_EQ(vessaro::ClientStart("127.0.0.1", 13366), -1) << "starts only once";
    EXPECT_STREQ(vessaro::ServerIpText(), "");
    // Another server can be set once started; one that does not resolve changes nothing.
    EXPECT_EQ(vessaro::ClientSetServer("no such host either", 13366), -1);
    EXPECT_STREQ(vessaro::ServerIpText(), "");

    // Both threads run: a datagram to the client's port and a timer tick reach the dispatcher.
    UdpPeer stranger;
    auto probe = vessaro::BuildControl(vessaro::MSG_TALK_PROBE, 3);
    EXPECT_TRUE(stranger.SendTo(vessaro::ClientLocalPort(), Complemented(probe)));
    ASSERT_TRUE(dispatched.WaitForCount(1));
    vessaro::TimerSet(10, 4, vessaro::OnTimerTick);
    ASSERT_TRUE(dispatched.WaitForCount(2));
    auto all = dispatched.Messages();
    EXPECT_EQ(vessaro::DatagramView(all[0].data(), all[0].size()).senderPort(), stranger.port());
    EXPECT_EQ(vessaro::DatagramView(all[1].data(), all[1].size()).timerTag(), 4u);

    // Once a server is set, only it is heard.
    UdpPeer server;
    ASSERT_EQ(vessaro::ClientSetServer("127.0.0.1", server.port()), 0);
    EXPECT_STREQ(vessaro::ServerIpText(), "127.0.0.1");
    EXPECT_EQ(vessaro::SendToServer(connect.data(), 36), 0);
    EXPECT_TRUE(stranger.SendTo(vessaro::ClientLocalPort(), Complemented(probe)));
    EXPECT_TRUE(server.SendTo(vessaro::ClientLocalPort(), Complemented(probe)));
    ASSERT_TRUE(dispatched.WaitForCount(3));
    auto third = dispatched.Messages()[2];
    EXPECT_EQ(vessaro::DatagramView(third.data(), third.size()).senderPort(), server.port());
    EXPECT_TRUE(server.Receive()) << "the connect went to the new server";

    // Stopped, the dispatcher is never called again, whatever arrives.
    vessaro::ClientStopThreads();
    vessaro::ClientStopThreads();
    EXPECT_TRUE(stranger.SendTo(vessaro::ClientLocalPort(), Complemented(probe)));
    vessaro::OnTimerTick(5);
    std::this_thread::sleep_for(150ms); // the threads are joined: nothing may arrive in any time
    EXPECT_EQ(dispatched.Count(), 3u);
}
