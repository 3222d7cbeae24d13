#include "FakeServer.h"

#include "WireTransform.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro::test {

FakeServer::FakeServer() : socket_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port_ = ntohs(address.sin_port);
}

FakeServer::~FakeServer() {
    ::close(socket_);
}

std::optional<std::vector<uint8_t>> FakeServer::Expect(int32_t type,
                                                       std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<uint8_t> buffer(kMaxDatagramSize);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{socket_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, int(left.count())) <= 0)
            return std::nullopt;
        sockaddr_in from{};
        socklen_t size = sizeof from;
        ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), 0,
                               reinterpret_cast<sockaddr*>(&from), &size);
        if (n <= 0)
            continue;
        clientPort_ = ntohs(from.sin_port);
        std::vector<uint8_t> message(buffer.begin(), buffer.begin() + n);
        CommInvertBytes(message.data(), message.data(), int(n));
        if (DatagramView(message.data(), message.size()).type() == type)
            return message;
    }
}

void FakeServer::SendBytes(const uint8_t* data, std::size_t length) {
    std::vector<uint8_t> wire(data, data + length);
    CommInvertBytes(wire.data(), wire.data(), int(length));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(clientPort_);
    ::sendto(socket_, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

} // namespace vessaro::test
