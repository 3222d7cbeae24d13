#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vessaro::bench {

// A UDP address, both parts in host byte order.
struct UdpAddress {
    uint32_t address = 0;
    uint16_t port = 0;
    friend bool operator==(const UdpAddress&, const UdpAddress&) = default;
};

// 127.0.0.1 + n: the loopback network has room for far more sockets than one address's ports.
uint32_t LoopbackAddress(uint32_t n = 0);

// One non-blocking IPv4 UDP socket, closed with the object.
class UdpSocket {
public:
    // Bound to the address at a free port (or the given one); invalid() when that fails.
    explicit UdpSocket(uint32_t address = LoopbackAddress(), uint16_t port = 0);
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    UdpAddress local() const { return local_; }

    bool SendTo(const UdpAddress& to, std::span<const uint8_t> bytes) const;
    // One datagram, or nothing when none is waiting.
    std::optional<std::size_t> Receive(std::span<uint8_t> buffer, UdpAddress* from = nullptr) const;
    // Waits up to timeoutMs for a datagram to be readable.
    bool WaitReadable(int timeoutMs) const;
    void SetBlocking(bool blocking) const;

private:
    int fd_ = -1;
    UdpAddress local_;
};

// Raises the soft limit of open files to the hard limit; returns the new soft limit.
std::size_t RaiseOpenFileLimit();

} // namespace vessaro::bench
