#pragma once

#include "Messages.h"
#include "UdpPeer.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace vessaro::test {

// A UDP socket on 127.0.0.1 playing the matching server: it deals in plain messages (the wire's
// complement is undone both ways) and answers the client at the address it last heard from.
class FakeServer : public UdpPeer {
public:
    FakeServer() : UdpPeer(Wire::Complemented) {}

    // The client's port, once a datagram from it has been read (0 before).
    uint16_t clientPort() const { return lastSenderPort(); }

    // The next datagram of this type (others are skipped, such as retransmissions), decoded.
    std::optional<Bytes> Expect(int32_t type,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10));

    template <std::size_t N>
    void Send(const DatagramBytes<N>& message) {
        SendTo(clientPort(), message);
    }
};

} // namespace vessaro::test
