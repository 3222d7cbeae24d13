#include "UdpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace vessaro::bench {
namespace {

sockaddr_in ToSockaddr(const UdpAddress& a) {
    sockaddr_in s{};
    s.sin_family = AF_INET;
    s.sin_addr.s_addr = htonl(a.address);
    s.sin_port = htons(a.port);
    return s;
}

} // namespace

uint32_t LoopbackAddress(uint32_t n) {
    return 0x7F000001u + n;
}

UdpSocket::UdpSocket(uint32_t address, uint16_t port) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return;
    sockaddr_in s = ToSockaddr({address, port});
    socklen_t length = sizeof s;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&s), sizeof s) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&s), &length) != 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    local_ = {ntohl(s.sin_addr.s_addr), ntohs(s.sin_port)};
}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0)
        close(fd_);
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), local_(other.local_) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        local_ = other.local_;
    }
    return *this;
}

bool UdpSocket::SendTo(const UdpAddress& to, std::span<const uint8_t> bytes) const {
    sockaddr_in s = ToSockaddr(to);
    for (;;) {
        ssize_t sent =
            sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&s), sizeof s);
        if (sent == ssize_t(bytes.size()))
            return true;
        if (sent < 0 && errno == EINTR)
            continue;
        return false;
    }
}

std::optional<std::size_t> UdpSocket::Receive(std::span<uint8_t> buffer, UdpAddress* from) const {
    sockaddr_in s{};
    socklen_t length = sizeof s;
    ssize_t n;
    do {
        n = recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&s),
                     &length);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return std::nullopt;
    if (from)
        *from = {ntohl(s.sin_addr.s_addr), ntohs(s.sin_port)};
    return std::size_t(n);
}

bool UdpSocket::WaitReadable(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

void UdpSocket::SetBlocking(bool blocking) const {
    int flags = fcntl(fd_, F_GETFL);
    fcntl(fd_, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

std::size_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return std::size_t(limit.rlim_cur);
}

} // namespace vessaro::bench
