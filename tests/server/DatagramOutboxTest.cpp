#include "DatagramOutbox.h"
#include "BindAddress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vessaro {
namespace {

struct Queued {
    int destination; // index into the endpoints below
    std::size_t size;
};

const Endpoint kEndpoints[] = {Endpoint(0x7F000001, 4000), Endpoint(0x7F000001, 4001),
                               Endpoint(0x7F000002, 4000)};

// Datagrams per message after queueing the given datagrams.
std::vector<unsigned> Runs(const std::vector<Queued>& queued, bool segmenting = true) {
    auto box = std::make_unique<DatagramOutbox>(segmenting);
    for (const Queued& q : queued)
        EXPECT_NE(box->Add(kEndpoints[q.destination], false, q.size), nullptr);
    std::vector<unsigned> runs;
    for (unsigned m = 0; m < box->messageCount(); ++m)
        runs.push_back(box->DatagramsIn(m));
    return runs;
}

TEST(DatagramOutbox, JoinsOnlyNeighboursOfOneSizeToOneDestination) {
    struct Case {
        const char* what;
        std::vector<Queued> queued;
        std::vector<unsigned> runs;
    };
    const std::vector<Case> cases = {
        {"a run to one client", {{0, 552}, {0, 552}, {0, 552}}, {3}},
        {"another port is another client", {{0, 552}, {1, 552}, {1, 552}}, {1, 2}},
        {"another address is another client", {{0, 552}, {2, 552}}, {1, 1}},
        {"a size change ends the run", {{0, 552}, {0, 36}, {0, 36}}, {1, 2}},
        {"a client in between keeps the order", {{0, 552}, {1, 552}, {0, 552}}, {1, 1, 1}},
        {"empty datagrams are never joined", {{0, 0}, {0, 0}}, {1, 1}},
        {"at most 60000 bytes a run", std::vector<Queued>(16, {0, 4000}), {15, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Runs(c.queued), c.runs) << c.what;
        EXPECT_EQ(Runs(c.queued, false), std::vector<unsigned>(c.queued.size(), 1)) << c.what;
    }
    std::vector<Queued> full(DatagramOutbox::kCapacity, {0, 40});
    EXPECT_EQ(Runs(full), std::vector<unsigned>{DatagramOutbox::kMaxSegments});
}

TEST(DatagramOutbox, AnAddressOfTheOtherFamilyIsRefused) {
    DatagramOutbox box(true);
    Endpoint v6(std::array<uint8_t, 16>{0x20, 0x01, 0x0d, 0xb8}, 5000);
    EXPECT_EQ(box.Add(v6, false, 10), nullptr);
    EXPECT_TRUE(box.empty());
}

// A socket of the endpoint's family bound to its address at a free port; the port in bound.
int BoundSocket(Endpoint& bound) {
    const bool v6 = !bound.IsV4();
    int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_storage a{};
    socklen_t length = ToSockaddr(bound, v6, a);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), length), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    FromSockaddr(reinterpret_cast<sockaddr*>(&a), bound);
    return fd;
}

// What arrives: waits for the expected count, then takes what else is there already.
std::vector<std::pair<char, std::size_t>> ReceiveAll(int fd, std::size_t expected) {
    std::vector<std::pair<char, std::size_t>> got;
    pollfd p{fd, POLLIN, 0};
    uint8_t in[kMaxDatagramSize];
    while (poll(&p, 1, got.size() < expected ? 1000 : 0) > 0) {
        ssize_t n = recv(fd, in, sizeof in, 0);
        if (n < 0)
            break;
        for (ssize_t k = 1; k < n; ++k)
            EXPECT_EQ(in[k], in[0]) << "a datagram mixes the bytes of two";
        got.emplace_back(char(in[0]), std::size_t(n));
    }
    return got;
}

// What the clients receive is what was queued: one datagram each, in order, whole; from an IPv4
// socket, from an IPv6 one, and from a socket whose kernel refuses to segment (no UDP checksums),
// which then sends the runs datagram by datagram.
TEST(DatagramOutbox, TheKernelDeliversEveryJoinedDatagramSeparatelyInOrder) {
    struct Case {
        const char* address;
        bool refusing;
    };
    for (const Case c : {Case{"127.0.0.1", false}, Case{"::1", false}, Case{"127.0.0.1", true}}) {
        Endpoint server, a, b;
        ASSERT_TRUE(ParseAddress(c.address, server));
        if (!server.IsV4() && !Ipv6Available())
            continue;
        a = b = server;
        const int serverFd = BoundSocket(server), clientA = BoundSocket(a),
                  clientB = BoundSocket(b);
        int none = 0, on = 1;
        const bool segmenting = setsockopt(serverFd, SOL_UDP, UDP_SEGMENT, &none, sizeof none) == 0;
        if (c.refusing) {
            ASSERT_EQ(setsockopt(serverFd, SOL_SOCKET, SO_NO_CHECK, &on, sizeof on), 0);
        }
        auto box = std::make_unique<DatagramOutbox>(segmenting);
        const std::vector<std::pair<Endpoint, std::size_t>> queued = {
            {a, 552}, {a, 552}, {a, 552}, {b, 552}, {b, 40}, {a, 552}, {a, 300}};
        for (std::size_t i = 0; i < queued.size(); ++i) {
            uint8_t* out = box->Add(queued[i].first, !server.IsV4(), queued[i].second);
            ASSERT_NE(out, nullptr);
            std::memset(out, int('a' + i), queued[i].second);
        }
        EXPECT_EQ(box->messageCount(), segmenting ? 5u : 7u);
        EXPECT_EQ(box->SendAll(serverFd), 0u) << c.address;
        EXPECT_TRUE(box->empty());
        EXPECT_EQ(box->segmenting(), segmenting && !c.refusing) << c.address;
        using Got = std::vector<std::pair<char, std::size_t>>;
        EXPECT_EQ(ReceiveAll(clientA, 5),
                  (Got{{'a', 552}, {'b', 552}, {'c', 552}, {'f', 552}, {'g', 300}}))
            << c.address;
        EXPECT_EQ(ReceiveAll(clientB, 2), (Got{{'d', 552}, {'e', 40}})) << c.address;
        for (int fd : {serverFd, clientA, clientB})
            close(fd);
    }
}

} // namespace
} // namespace vessaro
