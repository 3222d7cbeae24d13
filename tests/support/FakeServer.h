#pragma once

#include "Messages.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace vessaro::test {

// A UDP socket on 127.0.0.1 playing the matching server: it complements what it sends and what it
// receives, as the wire does, and answers the client at the address it last heard from.
class FakeServer {
public:
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    uint16_t port() const { return port_; }
    // The client's port, once a datagram from it has been read (0 before).
    uint16_t clientPort() const { return clientPort_; }

    // The next datagram of this type (others are skipped, such as retransmissions), decoded.
    std::optional<std::vector<uint8_t>>
    Expect(int32_t type, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    template <std::size_t N>
    void Send(const DatagramBytes<N>& message) {
        SendBytes(message.data(), N);
    }

private:
    void SendBytes(const uint8_t* data, std::size_t length);

    int socket_ = -1;
    uint16_t port_ = 0;
    uint16_t clientPort_ = 0;
};

} // namespace vessaro::test
