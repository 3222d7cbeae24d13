#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

struct sockaddr;
struct sockaddr_storage;

namespace vessaro {

// A client's UDP address: an IPv6 address (an IPv4 one held as ::ffff:a.b.c.d, as a dual-stack
// socket reports it) and a port in host byte order. The small members are inline: every datagram
// is looked up, checked and answered by its endpoint.
struct Endpoint {
    std::array<uint8_t, 16> address{};
    uint16_t port = 0;

    Endpoint() = default;
    // An IPv4 address in host byte order.
    Endpoint(uint32_t ipv4, uint16_t port) : port(port) {
        const uint64_t high = 0;
        const uint32_t mapped = kV4MappedMiddle;
        const uint32_t low = ToBigEndian32(ipv4);
        std::memcpy(address.data(), &high, 8);
        std::memcpy(address.data() + 8, &mapped, 4);
        std::memcpy(address.data() + 12, &low, 4);
    }
    Endpoint(const std::array<uint8_t, 16>& ipv6, uint16_t port) : address(ipv6), port(port) {}

    bool IsV4() const {
        uint64_t high;
        uint32_t middle;
        std::memcpy(&high, address.data(), 8);
        std::memcpy(&middle, address.data() + 8, 4);
        return high == 0 && middle == kV4MappedMiddle;
    }
    // The IPv4 address in host byte order; only meaningful when IsV4().
    uint32_t V4() const {
        uint32_t low;
        std::memcpy(&low, address.data() + 12, 4);
        return ToBigEndian32(low);
    }

    friend bool operator==(const Endpoint& a, const Endpoint& b) {
        uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, a.address.data(), 8);
        std::memcpy(&a1, a.address.data() + 8, 8);
        std::memcpy(&b0, b.address.data(), 8);
        std::memcpy(&b1, b.address.data() + 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0 && a.port == b.port;
    }

private:
    // Bytes 8 to 11 of an IPv4-mapped address (0, 0, 0xFF, 0xFF) as they lie in memory.
    static constexpr uint32_t kV4MappedMiddle =
        std::endian::native == std::endian::little ? 0xFFFF0000u : 0x0000FFFFu;
    static uint32_t ToBigEndian32(uint32_t v) {
        return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v;
    }
};

// The address without the port, for tables kept per sender address.
struct AddressKey {
    uint64_t high = 0;
    uint64_t low = 0;
    friend bool operator==(const AddressKey&, const AddressKey&) = default;
};
// The whole address, each half read as a big-endian number.
inline AddressKey HostKey(const Endpoint& endpoint) {
    uint64_t high, low;
    std::memcpy(&high, endpoint.address.data(), 8);
    std::memcpy(&low, endpoint.address.data() + 8, 8);
    if constexpr (std::endian::native == std::endian::little)
        return {__builtin_bswap64(high), __builtin_bswap64(low)};
    return {high, low};
}
// The network the address belongs to: its /24 for IPv4, its /64 for IPv6. One forger or one victim
// seldom has more than that.
AddressKey NetworkKey(const Endpoint& endpoint);

struct AddressKeyHash {
    std::size_t operator()(const AddressKey& k) const {
        return std::hash<uint64_t>{}(k.high * 0x9E3779B97F4A7C15ull ^ k.low);
    }
};

struct EndpointHash {
    std::size_t operator()(const Endpoint& e) const {
        return AddressKeyHash{}(HostKey(e)) ^ (std::size_t(e.port) * 0x100000001B3ull);
    }
};

// "a.b.c.d" for an IPv4 address, the usual compressed form for IPv6 (no port).
std::string AddressText(const Endpoint& endpoint);
// "a.b.c.d:port" or "[v6]:port".
std::string EndpointText(const Endpoint& endpoint);

// "a.b.c.d" for an IPv4 address in host byte order.
std::string DottedAddress(uint32_t address);

// The address of dotted text such as "127.0.0.1"; false when the text is not one.
bool ParseDottedAddress(const std::string& text, uint32_t& address);

// An IPv4 or IPv6 literal (port 0); false when the text is neither.
bool ParseAddress(const std::string& text, Endpoint& endpoint);

// Conversions from and to the socket API's addresses (AF_INET or AF_INET6). FromSockaddr is false
// for any other family. ToSockaddr writes an AF_INET6 address (IPv4 mapped) when forV6Socket is
// true, otherwise AF_INET (for an IPv4 endpoint); it returns the length to pass, 0 when the
// endpoint cannot be reached from such a socket.
bool FromSockaddr(const sockaddr* address, Endpoint& endpoint);
unsigned ToSockaddr(const Endpoint& endpoint, bool forV6Socket, sockaddr_storage& out);

} // namespace vessaro
