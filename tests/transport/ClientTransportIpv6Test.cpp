#include "ClientTransport.h"
#include "MessageLog.h"
#include "Messages.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vessaro::DatagramView;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

// One process, one story: the transport started towards a server on the IPv6 loopback address.
namespace {

MessageLog dispatched;

void Dispatch(const uint8_t* message, std::size_t length) {
    dispatched.Add(message, length);
}

TEST(ClientStartIpv6, TalksToAnIpv6ServerAndHearsOnlyIt) {
    UdpPeer server(UdpPeer::Wire::Complemented, "::1");
    if (!server.ok())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    vessaro::SetMessageDispatcher(Dispatch);
    ASSERT_EQ(vessaro::ClientStart("::1", server.port()), 0);
    EXPECT_STREQ(vessaro::ServerIpText(), "::1");

    auto connect = vessaro::BuildControl(vessaro::MSG_CONNECT);
    ASSERT_EQ(vessaro::SendToServer(connect.data(), 36), 0);
    EXPECT_TRUE(server.Receive().has_value());

    // Another socket on the same address, and the server's port on the IPv4 loopback, are not
    // the server.
    UdpPeer strangerV6(UdpPeer::Wire::Complemented, "::1");
    auto forged = vessaro::BuildControl(vessaro::MSG_SESSION_CLOSED, 9);
    EXPECT_TRUE(strangerV6.SendTo(vessaro::ClientLocalPort(), forged));
    EXPECT_FALSE(vessaro::AcceptsSender("127.0.0.1", server.port()));

    auto ack = vessaro::BuildConnectAck(77, 1);
    EXPECT_TRUE(server.SendTo(vessaro::ClientLocalPort(), ack));
    ASSERT_TRUE(dispatched.WaitForCount(1));
    std::this_thread::sleep_for(100ms); // a forged datagram would have arrived by now
    auto all = dispatched.Messages();
    ASSERT_EQ(all.size(), 1u);
    DatagramView view(all[0].data(), all[0].size());
    EXPECT_EQ(view.type(), vessaro::MSG_CONNECT_ACK);
    EXPECT_EQ(view.senderAddress(), "::1"); // short enough for the stamp field
    EXPECT_EQ(view.senderPort(), server.port());
    vessaro::ClientStopThreads();
}

} // namespace
