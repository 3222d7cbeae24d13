#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/socket.h>

namespace vessaro {

// The client names addresses by their numeric text: dotted IPv4 ("192.0.2.7") or IPv6
// ("2001:db8::7", with "%N" for the interface number of a scoped address). An IPv4 address seen
// through an IPv6 socket (::ffff:192.0.2.7) is named by its IPv4 text, so one server has one
// name whichever kind of socket reaches it.

// Longest text, its NUL included: an IPv6 address, '%' and an interface number.
inline constexpr std::size_t kAddressTextSize = 64;

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t size = 0;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// The destination address:port as a socket of the family (AF_INET or AF_INET6) sends to it: an
// IPv4 text for an IPv6 socket becomes its ::ffff: form. Nothing when the text is no numeric
// address, or an IPv6 address for an IPv4 socket.
std::optional<SocketAddress> ParseSocketAddress(const char* text, uint16_t port, int family);

// The numeric text of an address (as above) into text, and its port in host byte order. False for
// another family or a text that does not fit.
bool FormatSocketAddress(const sockaddr* address, char* text, std::size_t capacity,
                         uint16_t* port = nullptr);

// The address of a host name or numeric address as numeric text, for a socket of the family: the
// first address in the system's order that the socket can reach and has a route to, else the
// first it can reach at all. Nothing when the host does not resolve to any.
std::optional<std::string> LookUpHost(const char* host, int family);

} // namespace vessaro
