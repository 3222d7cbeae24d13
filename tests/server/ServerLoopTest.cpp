#include "ServerLoop.h"
#include "BindAddress.h"
#include "Messages.h"
#include "WireTransform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vessaro {
namespace {

// A client socket of either family that connects to the loop's port and reads the answer.
class Client {
public:
    explicit Client(const Endpoint& local) {
        fd_ = socket(local.IsV4() ? AF_INET : AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a{};
        socklen_t length = ToSockaddr(local, !local.IsV4(), a);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), length), 0);
        local_ = local;
    }
    ~Client() { close(fd_); }

    // Sends MSG_CONNECT to port on the client's own address; the answer's type and sender.
    std::pair<int32_t, Endpoint> Connect(uint16_t port) {
        auto d = BuildControl(MSG_CONNECT, 0);
        CommInvertBytes(d.data(), d.data(), int(d.size()));
        Endpoint server = local_;
        server.port = port;
        sockaddr_storage to{};
        socklen_t length = ToSockaddr(server, !server.IsV4(), to);
        sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), length);
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            return {0, {}};
        uint8_t in[kMaxDatagramSize];
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        ssize_t n =
            recvfrom(fd_, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n <= 0)
            return {0, {}};
        CommInvertBytes(in, in, int(n));
        Endpoint sender;
        FromSockaddr(reinterpret_cast<sockaddr*>(&from), sender);
        return {DatagramView(std::span<const uint8_t>(in, std::size_t(n))).type(), sender};
    }

private:
    int fd_ = -1;
    Endpoint local_;
};

TEST(ServerLoop, OneSocketPerFamilyAndRepliesLeaveFromTheClientsOwn) {
    Endpoint v4, v6;
    ASSERT_TRUE(ParseAddress("127.0.0.1", v4) && ParseAddress("::1", v6));
    if (!Ipv6Available())
        GTEST_SKIP() << "no IPv6 on this machine";
    std::string error;
    auto loop = ServerLoop::Open({v4, v6}, 0, error);
    ASSERT_TRUE(loop) << error;
    const std::string port = std::to_string(loop->port());
    EXPECT_EQ(loop->BoundText(), (std::vector<std::string>{"127.0.0.1:" + port, "[::1]:" + port}));

    MatchServer core(
        ServerConfig{},
        [&loop](const Endpoint& to, std::span<const uint8_t> d) { loop->Send(to, d); },
        [] { return 7u; });
    std::atomic<int> reloads = 0;
    int stops = 0;
    LoopHooks hooks;
    hooks.reload = [&] { ++reloads; };
    hooks.stopping = [&] { ++stops; };
    std::thread running([&] { loop->Run(core, hooks); });
    for (const Endpoint& address : {v4, v6}) {
        Client client(address);
        auto [type, sender] = client.Connect(loop->port());
        EXPECT_EQ(type, MSG_CONNECT_ACK) << AddressText(address);
        Endpoint expected = address;
        expected.port = loop->port();
        EXPECT_EQ(sender, expected) << "answered from the socket it was sent to";
    }
    loop->RequestReload();
    for (int i = 0; i < 500 && reloads == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    loop->RequestStop();
    running.join();
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(stops, 1);
}

// Sends made while the loop batches (here from the woken hook) wait packed in an outbox that is
// sent whenever it fills: datagrams of mixed sizes, more than one outbox holds, must each arrive
// whole, complemented and in order.
TEST(ServerLoop, BatchedSendsArriveWholeAndInOrderAcrossFullOutboxes) {
    Endpoint v4;
    ASSERT_TRUE(ParseAddress("127.0.0.1", v4));
    std::string error;
    auto loop = ServerLoop::Open({v4}, 0, error);
    ASSERT_TRUE(loop) << error;
    const int client = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_storage local{};
    socklen_t length = ToSockaddr(v4, false, local);
    ASSERT_EQ(bind(client, reinterpret_cast<sockaddr*>(&local), length), 0);
    ASSERT_EQ(getsockname(client, reinterpret_cast<sockaddr*>(&local), &length), 0);
    Endpoint to;
    FromSockaddr(reinterpret_cast<sockaddr*>(&local), to);
    int buffer = 4 << 20;
    setsockopt(client, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);

    // Sizes that straddle the packing alignment, up to the largest datagram, three of each in a
    // row: runs that leave as one segmented message.
    const std::vector<std::size_t> sizes = {1, 36, 63, 64, 65, 560, kMaxDatagramSize};
    const int count = 150;
    auto sizeOf = [&](int i) { return sizes[std::size_t(i / 3) % sizes.size()]; };
    auto byteOf = [](int i, std::size_t k) { return uint8_t(i * 31 + int(k)); };
    MatchServer core(
        ServerConfig{},
        [&loop](const Endpoint& e, std::span<const uint8_t> d) { loop->Send(e, d); },
        [] { return 7u; });
    std::atomic<bool> sent = false;
    LoopHooks hooks;
    hooks.woken = [&](int64_t) {
        if (sent.exchange(true))
            return;
        for (int i = 0; i < count; ++i) {
            std::vector<uint8_t> d(sizeOf(i));
            for (std::size_t k = 0; k < d.size(); ++k)
                d[k] = byteOf(i, k);
            loop->Send(to, d);
        }
    };
    std::thread running([&] { loop->Run(core, hooks); });
    loop->Wake();
    int received = 0;
    for (; received < count; ++received) {
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            break;
        uint8_t in[kMaxDatagramSize + 1];
        const ssize_t n = recv(client, in, sizeof in, 0);
        if (std::size_t(n) != sizeOf(received)) {
            ADD_FAILURE() << "datagram " << received << " has " << n << " bytes";
            break;
        }
        bool intact = true;
        for (std::size_t k = 0; k < std::size_t(n); ++k)
            intact = intact && in[k] == uint8_t(~byteOf(received, k));
        EXPECT_TRUE(intact) << "datagram " << received;
    }
    loop->RequestStop();
    running.join();
    close(client);
    EXPECT_EQ(received, count);
    EXPECT_EQ(loop->sendFailures(), 0u);
}

// Datagrams the kernel drops because the loop has not read its socket are counted.
TEST(ServerLoop, ReceiveDropsCountWhatOverflowedTheSocket) {
    std::string error;
    auto loop = ServerLoop::Open({Endpoint(0x7F000001, 0)}, 0, error);
    ASSERT_TRUE(loop) << error;
    const int client = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_storage to{};
    const socklen_t length = ToSockaddr(Endpoint(0x7F000001, loop->port()), false, to);
    uint8_t d[1000] = {};
    uint64_t sent = 0;
    for (; sent < 40000 && loop->ReceiveDrops() == 0; ++sent)
        sendto(client, d, sizeof d, 0, reinterpret_cast<sockaddr*>(&to), length);
    close(client);
    EXPECT_GT(loop->ReceiveDrops(), 0u);
    EXPECT_LT(loop->ReceiveDrops(), sent);
}

// The loop keys, checks and answers every datagram by its endpoint: the IPv4 form, the keys'
// byte order (a network key drops the host's last byte) and equality must hold for both families.
TEST(ServerLoop, EndpointsKeepTheirFamilyAndByteOrder) {
    struct Case {
        const char* text;
        bool v4;
        AddressKey host;
        uint64_t networkLow;
    };
    const Case cases[] = {
        {"192.168.1.20", true, {0, 0x0000FFFFC0A80114}, 0x0000FFFFC0A80100},
        {"::ffff:10.0.0.1", true, {0, 0x0000FFFF0A000001}, 0x0000FFFF0A000000},
        {"::1", false, {0, 1}, 0},
        {"2001:db8::ffff:c0a8:114", false, {0x20010DB800000000, 0x0000FFFFC0A80114}, 0},
    };
    for (const Case& c : cases) {
        Endpoint e;
        ASSERT_TRUE(ParseAddress(c.text, e)) << c.text;
        e.port = 4000;
        EXPECT_EQ(e.IsV4(), c.v4) << c.text;
        EXPECT_EQ(HostKey(e), c.host) << c.text;
        EXPECT_EQ(NetworkKey(e).low, c.networkLow) << c.text;
        EXPECT_EQ(NetworkKey(e).high, c.host.high) << c.text;
        if (c.v4) {
            EXPECT_EQ(Endpoint(e.V4(), 4000), e) << c.text;
        }
        Endpoint otherPort = e, otherHost = e;
        otherPort.port = 4001;
        otherHost.address[15] ^= 1;
        EXPECT_NE(e, otherPort) << c.text;
        EXPECT_NE(e, otherHost) << c.text;
    }
}

TEST(ServerLoop, AFailedSocketLeavesNoneOpen) {
    Endpoint v4;
    ASSERT_TRUE(ParseAddress("127.0.0.1", v4));
    std::string error;
    EXPECT_FALSE(ServerLoop::Open({v4, v4}, 0, error)) << "the second cannot share the port";
    EXPECT_NE(error.find("127.0.0.1:"), std::string::npos) << error;
    const uint16_t port = uint16_t(std::stoi(error.substr(error.find(':', 5) + 1)));
    auto again = ServerLoop::Open({v4}, port, error);
    EXPECT_TRUE(again) << "the first socket was closed: " << error;
    EXPECT_FALSE(ServerLoop::Open({}, 0, error));
}

} // namespace
} // namespace vessaro
