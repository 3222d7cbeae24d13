#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct sockaddr;
struct sockaddr_storage;

namespace vessaro {

// A client's UDP address: an IPv6 address (an IPv4 one held as ::ffff:a.b.c.d, as a dual-stack
// socket reports it) and a port in host byte order.
struct Endpoint {
    std::array<uint8_t, 16> address{};
    uint16_t port = 0;

    Endpoint() = default;
    // An IPv4 address in host byte order.
    Endpoint(uint32_t ipv4, uint16_t port);
    Endpoint(const std::array<uint8_t, 16>& ipv6, uint16_t port) : address(ipv6), port(port) {}

    bool IsV4() const;
    // The IPv4 address in host byte order; only meaningful when IsV4().
    uint32_t V4() const;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

// The address without the port, for tables kept per sender address.
struct AddressKey {
    uint64_t high = 0;
    uint64_t low = 0;
    friend bool operator==(const AddressKey&, const AddressKey&) = default;
};
// The whole address.
AddressKey HostKey(const Endpoint& endpoint);
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
