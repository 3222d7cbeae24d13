#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vessaro::test {

using Bytes = std::vector<uint8_t>;

// Every byte complemented, as the wire carries it.
Bytes Complemented(std::span<const uint8_t> bytes);

// A UDP socket on a loopback address that plays another party in tests: the matching server, a
// forger or a flooder, either side of a relay. Raw, it sends and receives bytes as they are; with
// Wire::Complemented it complements them both ways, so that the test deals in plain messages.
// Another address of the 127/8 block looks like another host to whoever it sends to. On an IPv6
// address (such as "::1") it sends to ::1, otherwise to 127.0.0.1.
class UdpPeer {
public:
    enum class Wire { Raw, Complemented };

    explicit UdpPeer(Wire wire = Wire::Raw, const std::string& localAddress = "127.0.0.1");
    ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    // False when the address could not be bound; then nothing is sent or received.
    bool ok() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    // Where the last datagram received came from (0 before the first).
    uint16_t lastSenderPort() const { return lastSenderPort_; }
    // For polling this socket together with others.
    int descriptor() const { return socket_; }

    // Sends to the loopback address of its kind (127.0.0.1 or ::1) at port; false unless the whole
    // datagram went out.
    bool SendTo(uint16_t port, std::span<const uint8_t> bytes);
    // The next datagram, or nothing when none comes in time.
    std::optional<Bytes> Receive(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    int socket_ = -1;
    int family_ = 0;
    Wire wire_;
    uint16_t port_ = 0;
    uint16_t lastSenderPort_ = 0;
};

} // namespace vessaro::test
