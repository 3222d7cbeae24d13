#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vessaro::test {

// A UDP socket of a third party, bound to a loopback address of its choice (127.0.0.1, or another
// of the 127/8 block to look like another host), that sends datagrams complemented as the wire
// carries them.
class UdpSender {
public:
    explicit UdpSender(const std::string& localAddress = "127.0.0.1");
    ~UdpSender();
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // False when the address could not be bound (then nothing is sent).
    bool ok() const { return port_ != 0; }
    uint16_t port() const { return port_; }

    // Sends the plain bytes, complemented, to 127.0.0.1:port. False when the send failed.
    bool Send(uint16_t port, std::span<const uint8_t> plain);

private:
    int socket_ = -1;
    uint16_t port_ = 0;
};

} // namespace vessaro::test
