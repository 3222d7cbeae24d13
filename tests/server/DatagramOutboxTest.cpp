#include "DatagramOutbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace vessaro {
namespace {

int BoundSocket(Endpoint& bound) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_storage a{};
    socklen_t length = ToSockaddr(bound, false, a);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), length), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    FromSockaddr(reinterpret_cast<sockaddr*>(&a), bound);
    return fd;
}

// A socket whose kernel will not segment (no UDP checksums) still delivers every datagram of a
// joined run, one by one, whole and in order, and joins no more. (Runs the kernel segments are
// checked through the loop itself.)
TEST(DatagramOutbox, RunsTheKernelWillNotSegmentLeaveDatagramByDatagram) {
    Endpoint server(0x7F000001, 0), a = server, b = server;
    const int fds[] = {BoundSocket(server), BoundSocket(a), BoundSocket(b)};
    int on = 1;
    ASSERT_EQ(setsockopt(fds[0], SOL_SOCKET, SO_NO_CHECK, &on, sizeof on), 0);
    auto box = std::make_unique<DatagramOutbox>(true);
    const std::vector<std::pair<Endpoint, std::size_t>> queued = {
        {a, 552}, {a, 552}, {a, 552}, {b, 552}, {b, 40}, {a, 552}, {a, 300}};
    for (std::size_t i = 0; i < queued.size(); ++i)
        std::memset(box->Add(queued[i].first, false, queued[i].second), 'a' + int(i),
                    queued[i].second);
    EXPECT_EQ(box->messageCount(), 5u) << "neighbours of one size to one client join";
    EXPECT_EQ(box->SendAll(fds[0]), 0u);
    EXPECT_FALSE(box->segmenting());
    std::string got[2];
    for (int c = 0; c < 2; ++c) {
        uint8_t in[kMaxDatagramSize];
        pollfd p{fds[1 + c], POLLIN, 0};
        for (ssize_t n; poll(&p, 1, 50) > 0 && (n = recv(p.fd, in, sizeof in, 0)) > 0;)
            got[c] += std::string(1, char(in[0])) + std::to_string(n) +
                      (std::count(in, in + n, in[0]) == n ? " " : "mixed ");
    }
    EXPECT_EQ(got[0], "a552 b552 c552 f552 g300 ");
    EXPECT_EQ(got[1], "d552 e40 ");
    for (int fd : fds)
        close(fd);
}

} // namespace
} // namespace vessaro
