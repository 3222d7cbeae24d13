#include "CommEndpoint.h"
#include "ConsoleCapture.h"
#include "Messages.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using vessaro::CommEndpoint;
using vessaro::test::Bytes;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

namespace {

struct Received {
    Bytes bytes;
    std::string address;
    uint16_t port;
};

// What the endpoint's receive callback saw. The callback is a plain function, so this is static.
class ReceivedLog {
public:
    static int Record(uint8_t* buffer, int length, const char* address, uint16_t port) {
        {
            std::lock_guard lock(mutex_);
            received_.push_back({Bytes(buffer, buffer + length), address, port});
        }
        changed_.notify_all();
        return 0;
    }

    static std::optional<Received> WaitForNth(std::size_t n) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, 10s, [&] { return received_.size() >= n; }))
            return std::nullopt;
        return received_[n - 1];
    }

    static std::size_t Count() {
        std::lock_guard lock(mutex_);
        return received_.size();
    }

    static void Clear() {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

private:
    static inline std::mutex mutex_;
    static inline std::condition_variable changed_;
    static inline std::vector<Received> received_;
};

class CommEndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReceivedLog::Clear();
        ASSERT_TRUE(server.ok());
        endpoint = vessaro::CommInit(0);
        ASSERT_NE(endpoint, nullptr);
        vessaro::CommSetRecvCallback(endpoint.get(), ReceivedLog::Record);
    }

    int Send(std::span<const uint8_t> bytes) {
        return vessaro::CommSendMsg(endpoint.get(), "127.0.0.1", server.port(), bytes.data(),
                                    static_cast<int>(bytes.size()));
    }

    UdpPeer server;
    std::unique_ptr<CommEndpoint> endpoint;
};

} // namespace

TEST_F(CommEndpointTest, EveryByteIsComplementedOnTheWayOutAndBackIn) {
    auto connect = vessaro::BuildControl(vessaro::MSG_CONNECT);
    Bytes connectOnWire = {0xFE, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF};
    connectOnWire.resize(36, 0xFF);
    struct Case {
        const char* name;
        Bytes plain;
        Bytes wire;
    };
    const Case cases[] = {
        {"three bytes", {0x00, 0xFF, 0x41}, {0xFF, 0x00, 0xBE}},
        {"MSG_CONNECT", Bytes(connect.begin(), connect.end()), connectOnWire},
    };
    std::size_t received = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Send(c.plain), 0);
        EXPECT_EQ(server.Receive(), c.wire);

        EXPECT_TRUE(server.SendTo(endpoint->boundPort, c.wire));
        auto in = ReceivedLog::WaitForNth(++received);
        ASSERT_TRUE(in.has_value());
        EXPECT_EQ(in->bytes, c.plain);
        EXPECT_EQ(in->address, "127.0.0.1");
        EXPECT_EQ(in->port, server.port());
    }
}

TEST_F(CommEndpointTest, SendLeavesTheCallersBufferAsItWas) {
    Bytes message(560);
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<uint8_t>(i * 7);
    const Bytes original = message;
    ASSERT_EQ(Send(message), 0);
    EXPECT_EQ(message, original);
    EXPECT_EQ(server.Receive(), Complemented(original));
}

TEST_F(CommEndpointTest, SendTakesUpTo4096BytesAndRefusesMore) {
    Bytes largest(4096, 0x5A);
    ASSERT_EQ(Send(largest), 0);
    EXPECT_EQ(server.Receive(), Complemented(largest));

    ConsoleCapture console;
    Bytes tooLong(4097, 0x5A);
    EXPECT_EQ(Send(tooLong), -1);
    EXPECT_EQ(vessaro::CommSendMsg(endpoint.get(), "127.0.0.1", server.port(), largest.data(), -1),
              -1);
    EXPECT_EQ(vessaro::CommSendMsg(nullptr, "127.0.0.1", server.port(), largest.data(), 36), -1);
    EXPECT_EQ(console.Text(), "") << "a refused length is not a failed send";
    EXPECT_FALSE(server.Receive(100ms).has_value());
}

TEST_F(CommEndpointTest, AFailedSendSaysSoOnTheConsole) {
    ConsoleCapture console;
    Bytes message(36, 1);
    for (const char* address : {"not an address", "", "300.1.1.1"}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(vessaro::CommSendMsg(endpoint.get(), address, server.port(), message.data(), 36),
                  -1);
    }
    EXPECT_EQ(console.Text(), "CommSendMsg: sendto failed!\n"
                              "CommSendMsg: sendto failed!\n"
                              "CommSendMsg: sendto failed!\n");
}

TEST_F(CommEndpointTest, EmptyAndOversizedDatagramsAreDroppedNotCutShort) {
    Bytes huge(5000, 0x11);
    Bytes small = {1, 2, 3};
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Bytes{}));
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, huge));
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, small));
    auto first = ReceivedLog::WaitForNth(1);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->bytes, Complemented(small));
}

TEST_F(CommEndpointTest, DatagramsFromAnySenderAreDelivered) {
    UdpPeer stranger;
    EXPECT_TRUE(stranger.SendTo(endpoint->boundPort, Bytes{0xAA}));
    auto in = ReceivedLog::WaitForNth(1);
    ASSERT_TRUE(in.has_value());
    EXPECT_EQ(in->bytes, Bytes{0x55});
    EXPECT_EQ(in->port, stranger.port());
}

TEST_F(CommEndpointTest, NothingIsDeliveredAfterStop) {
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Bytes{0x01}));
    ASSERT_TRUE(ReceivedLog::WaitForNth(1).has_value());
    vessaro::CommStop(endpoint.get());
    vessaro::CommStop(endpoint.get());
    EXPECT_FALSE(endpoint->thread.joinable());
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Bytes{0x02}));
    std::this_thread::sleep_for(100ms); // the thread is joined: nothing may arrive in any time
    EXPECT_EQ(ReceivedLog::Count(), 1u);
    // The socket still sends after the receive thread has stopped.
    EXPECT_EQ(Send(Bytes{0x0F}), 0);
    EXPECT_EQ(server.Receive(), Bytes{0xF0});
}

// One endpoint talks to servers of both kinds and names each sender by its own address text.
TEST_F(CommEndpointTest, ReachesIpv4AndIpv6PeersAndNamesThem) {
    EXPECT_EQ(endpoint->family, AF_INET6) << "this machine has IPv6: the socket is dual-stack";
    UdpPeer v6(UdpPeer::Wire::Raw, "::1");
    if (!v6.ok())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    struct Peer {
        UdpPeer& peer;
        const char* address;
    };
    for (Peer p : {Peer{server, "127.0.0.1"}, Peer{v6, "::1"}}) {
        ReceivedLog::Clear();
        ASSERT_EQ(
            vessaro::CommSendMsg(endpoint.get(), p.address, p.peer.port(), Bytes{0x0F}.data(), 1),
            0);
        EXPECT_EQ(p.peer.Receive(), Bytes{0xF0}) << p.address;
        EXPECT_TRUE(p.peer.SendTo(endpoint->boundPort, Bytes{0x0F}));
        auto in = ReceivedLog::WaitForNth(1);
        ASSERT_TRUE(in.has_value()) << p.address;
        EXPECT_EQ(in->address, p.address);
        EXPECT_EQ(in->port, p.peer.port());
    }
    EXPECT_EQ(vessaro::CommSendMsg(endpoint.get(), "not an address", 1, Bytes{1}.data(), 1), -1);
}

TEST(CommInit, GivesAFreePortOrNullWhenThePortIsTaken) {
    auto endpoint = vessaro::CommInit(0);
    ASSERT_NE(endpoint, nullptr);
    EXPECT_EQ(endpoint->localPort, 0);
    EXPECT_NE(endpoint->boundPort, 0);

    EXPECT_EQ(vessaro::CommInit(endpoint->boundPort), nullptr);
}
