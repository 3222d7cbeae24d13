#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A plain UDP socket on 127.0.0.1 that plays the matching server (or any other sender) in tests.
// It sends and receives raw bytes: no complement either way.
class UdpPeer {
public:
    UdpPeer();
    ~UdpPeer();

    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    uint16_t port() const { return port_; }

    void SendTo(uint16_t port, std::span<const uint8_t> bytes);
    // The next datagram, or nothing after the time-out.
    std::optional<Bytes> Receive(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    int socket_;
    uint16_t port_ = 0;
};

// Every byte complemented, as the wire carries it.
Bytes Complemented(std::span<const uint8_t> bytes);
