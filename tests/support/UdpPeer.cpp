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

} // namespace

Bytes Complemented(std::span<const uint8_t> bytes) {
    Bytes out(bytes.begin(), bytes.end());
    for (uint8_t& byte : out)
        byte = uint8_t(~byte);
    return out;
}

UdpPeer::UdpPeer(Wire wire, const std::string& localAddress)
    : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), wire_(wire) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (socket_ < 0 || ::inet_pton(AF_INET, localAddress.c_str(), &address.sin_addr) != 1)
        return;
    socklen_t size = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port_ = ntohs(address.sin_port);
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
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    return ::sendto(socket_, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to) == ssize_t(wire.size());
}

std::optional<Bytes> UdpPeer::Receive(std::chrono::milliseconds timeout) {
    pollfd ready{socket_, POLLIN, 0};
    if (!ok() || ::poll(&ready, 1, int(timeout.count())) != 1)
        return std::nullopt;
    Bytes bytes(kLargestDatagram);
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t n = ::recvfrom(socket_, bytes.data(), bytes.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0)
        return std::nullopt;
    lastSenderPort_ = ntohs(from.sin_port);
    bytes.resize(std::size_t(n));
    return wire_ == Wire::Complemented ? Complemented(bytes) : bytes;
}

} // namespace vessaro::test
