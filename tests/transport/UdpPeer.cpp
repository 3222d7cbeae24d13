#include "UdpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

} // namespace

UdpPeer::UdpPeer() : socket_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in local = Loopback(0);
    socklen_t size = sizeof local;
    if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        throw std::runtime_error("cannot open a UDP socket on 127.0.0.1");
    port_ = ntohs(local.sin_port);
}

UdpPeer::~UdpPeer() {
    if (socket_ >= 0)
        close(socket_);
}

void UdpPeer::SendTo(uint16_t port, std::span<const uint8_t> bytes) {
    sockaddr_in to = Loopback(port);
    ssize_t sent =
        sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (sent != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("UDP send failed");
}

std::optional<Bytes> UdpPeer::Receive(std::chrono::milliseconds timeout) {
    pollfd fd{socket_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(timeout.count())) != 1)
        return std::nullopt;
    std::vector<uint8_t> bytes(65536);
    ssize_t n = recv(socket_, bytes.data(), bytes.size(), 0);
    if (n < 0)
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

Bytes Complemented(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out(bytes.begin(), bytes.end());
    for (uint8_t& b : out)
        b = static_cast<uint8_t>(~b);
    return out;
}
