// Forged connects arrive at 5,000 a second from 10,000 addresses while two real clients connect,
// match and exchange a line. One socket forges them all: on loopback every 127.x.y.z is local, so
// a datagram can carry any of them as its source (IP_PKTINFO), and since the socket listens on
// every local address at its port, it also receives what the server sends back to each forged
// address. Prints the real clients' connect time, the server's memory and what the forged
// addresses (the victims) received. The forged addresses are 127.1.0.0 - 127.1.39.15 (forty /24
// networks); the real clients live in 127.0.0.0/24.
#include "CliEvents.h"
#include "Messages.h"
#include "ResidentMemory.h"
#include "ServerChild.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>

using namespace vessaro;
using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kForgedBase = 0x7F010000; // 127.1.0.0
constexpr uint32_t kForgedAddresses = 10000;
constexpr uint32_t kLoneVictim = 0x7F090001; // 127.9.0.1: one forged connect, nothing else
constexpr int kConnectsPerSecond = 5000;
constexpr auto kFloodLength = 5s;

// Sends datagrams with any local source address and counts what comes back, per destination.
class Forger {
public:
    Forger() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in any{};
        any.sin_family = AF_INET;
        const int on = 1, buffer = 1 << 22;
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0 &&
              ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0 &&
              ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer) == 0;
    }
    ~Forger() { ::close(fd_); }
    bool ok() const { return ok_; }

    // Sends the bytes, complemented as on the wire, from `source` to 127.0.0.1:port.
    bool Send(uint32_t source, uint16_t port, std::span<const uint8_t> bytes) {
        std::vector<uint8_t> wire(bytes.begin(), bytes.end());
        for (uint8_t& b : wire)
            b = uint8_t(~b);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        iovec io{wire.data(), wire.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr m{};
        m.msg_name = &to;
        m.msg_namelen = sizeof to;
        m.msg_iov = &io;
        m.msg_iovlen = 1;
        m.msg_control = control;
        m.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&m);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(source);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        return ::sendmsg(fd_, &m, 0) == ssize_t(wire.size());
    }

    // Reads everything waiting, adding each datagram's size to its destination address.
    void Drain(std::map<uint32_t, uint64_t>& bytesTo) {
        uint8_t buffer[4096];
        alignas(cmsghdr) char control[256];
        for (;;) {
            iovec io{buffer, sizeof buffer};
            msghdr m{};
            m.msg_iov = &io;
            m.msg_iovlen = 1;
            m.msg_control = control;
            m.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(fd_, &m, MSG_DONTWAIT);
            if (n < 0)
                return;
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info;
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    bytesTo[ntohl(info.ipi_addr.s_addr)] += uint64_t(n);
                }
            }
        }
    }

private:
    int fd_;
    bool ok_ = false;
};

TEST(ForgedConnectFlood, RealClientsConnectMatchAndTalkWhileForgedConnectsPourIn) {
    Forger forger;
    if (!forger.ok())
        GTEST_SKIP() << "no socket that can forge loopback source addresses here";
    ServerChild server;
    ASSERT_NE(server.port(), 0);
    const int pid = server.process().pid();
    const long before = ResidentKiB(pid);
    ASSERT_TRUE(forger.Send(kLoneVictim, server.port(), BuildControl(MSG_CONNECT)));

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> forged{0};
    std::map<uint32_t, uint64_t> bytesTo;
    std::atomic<long> peak{before};
    std::thread flood([&] {
        const auto start = std::chrono::steady_clock::now();
        const auto connect = BuildControl(MSG_CONNECT);
        uint32_t next = 0;
        while (!stop && std::chrono::steady_clock::now() - start < kFloodLength) {
            const auto elapsed = std::chrono::steady_clock::now() - start;
            const uint64_t due =
                uint64_t(std::chrono::duration<double>(elapsed).count() * kConnectsPerSecond);
            for (; forged < due; ++forged, ++next)
                forger.Send(kForgedBase + next % kForgedAddresses, server.port(), connect);
            forger.Drain(bytesTo);
            peak = std::max(peak.load(), ResidentKiB(pid));
            std::this_thread::sleep_for(5ms);
        }
    });

    std::this_thread::sleep_for(1s); // the flood is under way
    const auto connectStart = std::chrono::steady_clock::now();
    auto a = server.StartClient({"--nickname", "甲", "--sex", "male", "--want-sex", "female"});
    auto b = server.StartClient({"--nickname", "乙", "--sex", "female", "--want-sex", "male"});
    ExpectEvent(*a, "connected", 10s);
    ExpectEvent(*b, "connected", 10s);
    const double connectSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - connectStart).count();
    for (ChildProcess* client : {a.get(), b.get()})
        client->WriteLine("/match");
    for (ChildProcess* client : {a.get(), b.get()}) {
        ExpectEvent(*client, "partner_found", 10s);
        client->WriteLine("/accept");
    }
    for (ChildProcess* client : {a.get(), b.get()})
        ExpectEvent(*client, "talk_started", 10s);
    a->WriteLine("hello under a flood");
    EXPECT_EQ(ExpectEvent(*b, "talk_text", 10s)["text"], "hello under a flood");
    flood.join();
    std::this_thread::sleep_for(1500ms); // the last notice copies of the lone victim (at +6 s)
    forger.Drain(bytesTo);
    stop = true;

    EXPECT_TRUE(server.process().running());
    EXPECT_LT(peak - before, 64 * 1024) << "the server grew from " << before << " KiB to " << peak;
    uint64_t total = 0, busiestAddress = 0;
    std::map<uint32_t, uint64_t> perNetwork;
    for (const auto& [address, bytes] : bytesTo) {
        if (address == kLoneVictim)
            continue;
        total += bytes;
        busiestAddress = std::max(busiestAddress, bytes);
        perNetwork[address >> 8] += bytes;
    }
    uint64_t busiestNetwork = 0;
    for (const auto& [network, bytes] : perNetwork)
        busiestNetwork = std::max(busiestNetwork, bytes);
    const double seconds = std::chrono::duration<double>(kFloodLength).count() + 1.5;
    EXPECT_GT(forged, uint64_t(kConnectsPerSecond * 4)) << "the flood did not reach its rate";
    EXPECT_LE(bytesTo[kLoneVictim], 1024u) << "one forged connect, one victim";
    std::printf("forged connect flood: %llu connects from %u addresses in %.0f s; real clients "
                "connected in %.3f s; server memory %ld KiB before, %ld KiB at most\n"
                "victims: one lone forged connect brought %llu bytes; under the flood %.1f bytes "
                "per forged connect, the busiest /24 got %.0f bytes/s, the busiest address %.0f "
                "bytes/s\n",
                static_cast<unsigned long long>(forged.load()), kForgedAddresses,
                std::chrono::duration<double>(kFloodLength).count(), connectSeconds, before,
                peak.load(), static_cast<unsigned long long>(bytesTo[kLoneVictim]),
                double(total) / double(forged), double(busiestNetwork) / seconds,
                double(busiestAddress) / seconds);
}

} // namespace
