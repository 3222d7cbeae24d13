#include "UdpSender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace vessaro::test {

UdpSender::UdpSender(const std::string& localAddress) : socket_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, localAddress.c_str(), &address.sin_addr) != 1)
        return;
    socklen_t size = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port_ = ntohs(address.sin_port);
}

UdpSender::~UdpSender() {
    ::close(socket_);
}

bool UdpSender::Send(uint16_t port, std::span<const uint8_t> plain) {
    if (!ok())
        return false;
    std::vector<uint8_t> wire(plain.begin(), plain.end());
    for (uint8_t& byte : wire)
        byte = uint8_t(~byte);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    return ::sendto(socket_, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to) == ssize_t(wire.size());
}

} // namespace vessaro::test
