#include "UdpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro::test {

namespace {

constexpr std::size_t kLargestDatagram = 65536;
constexpr int kReceiveBuffer = 1 << 20; // room for bursts: a relay or a flooded peer falls behind

uint16_t PortOf(const sockaddr_storage& address) {
    return ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                     : reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

} // namespace

Bytes Complemented(std::span<const uint8_t> bytes) {
    Bytes out(bytes.begin(), bytes.end());
    for (uint8_t& byte : out)
        byte = uint8_t(~byte);
    return out;
}

UdpPeer::UdpPeer(Wire wire, const std::string& localAddress) : wire_(wire) {
    in6_addr v6{};
    family_ = ::inet_pton(AF_INET6, localAddress.c_str(), &v6) == 1 ? AF_INET6 : AF_INET;
    socket_ = ::socket(family_, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_storage address{};
    socklen_t size;
    if (family_ == AF_INET6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(address);
        a.sin6_family = AF_INET6;
        a.sin6_addr = v6;
        size = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(address);
        a.sin_family = AF_INET;
        if (::inet_pton(AF_INET, localAddress.c_str(), &a.sin_addr) != 1)
            return;
        size = sizeof a;
    }
    if (socket_ < 0)
        return;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port_ = PortOf(address);
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
}

UdpPeer::~UdpPeer() {
    if (socket_ >= 0)
        ::close(socket_);
}

bool UdpPeer::SendTo(uint16_t port, std::span<const uint8_t> bytes) {
    if (!ok())
        return false;
    const Bytes wire =
        wire_ == Wire::Complemented ? Complemented(bytes) : Bytes(bytes.begin(), bytes.end());
    sockaddr_storage to{};
    socklen_t size;
    if (family_ == AF_INET6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(to);
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        a.sin6_port = htons(port);
        size = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(to);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        size = sizeof a;
    }
    return ::sendto(socket_, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&to), size) ==
           ssize_t(wire.size());
}

std::optional<Bytes> UdpPeer::Receive(std::chrono::milliseconds timeout) {
    pollfd ready{socket_, POLLIN, 0};
    if (!ok() || ::poll(&ready, 1, int(timeout.count())) != 1)
        return std::nullopt;
    Bytes bytes(kLargestDatagram);
    sockaddr_storage from{};
    socklen_t size = sizeof from;
    const ssize_t n = ::recvfrom(socket_, bytes.data(), bytes.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0)
        return std::nullopt;
    lastSenderPort_ = PortOf(from);
    bytes.resize(std::size_t(n));
    return wire_ == Wire::Complemented ? Complemented(bytes) : bytes;
}

} // namespace vessaro::test
