#include "SocketAddress.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <unistd.h>

namespace vessaro {
namespace {

// The interface of "%eth0" or "%2"; 0 when it names none.
uint32_t ScopeOf(const char* scope) {
    uint32_t number = 0;
    const char* end = scope + std::strlen(scope);
    auto [rest, error] = std::from_chars(scope, end, number);
    if (error == std::errc() && rest == end)
        return number;
    return if_nametoindex(scope);
}

// Whether the system has a route to the address: connecting a UDP socket sends nothing, it only
// picks the route, and fails at once where there is none (an IPv6 address on an IPv4-only host).
bool Reachable(const addrinfo& candidate) {
    int probe = ::socket(candidate.ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    bool ok = ::connect(probe, candidate.ai_addr, candidate.ai_addrlen) == 0;
    ::close(probe);
    return ok;
}

} // namespace

std::optional<std::string> LookUpHost(const char* host, int family) {
    if (!host || !*host || (family != AF_INET && family != AF_INET6))
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = family == AF_INET6 ? AF_UNSPEC : AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    const addrinfo* chosen = found;
    for (const addrinfo* a = found; a; a = a->ai_next)
        if (Reachable(*a)) {
            chosen = a;
            break;
        }
    char text[kAddressTextSize];
    bool ok = FormatSocketAddress(chosen->ai_addr, text, sizeof text);
    freeaddrinfo(found);
    if (!ok)
        return std::nullopt;
    return std::string(text);
}

std::optional<SocketAddress> ParseSocketAddress(const char* text, uint16_t port, int family) {
    if (!text || (family != AF_INET && family != AF_INET6))
        return std::nullopt;
    SocketAddress out;
    in_addr v4{};
    if (inet_pton(AF_INET, text, &v4) == 1) {
        if (family == AF_INET) {
            auto& a = reinterpret_cast<sockaddr_in&>(out.storage);
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr = v4;
            out.size = sizeof a;
        } else {
            auto& a = reinterpret_cast<sockaddr_in6&>(out.storage);
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(port);
            a.sin6_addr.s6_addr[10] = 0xFF;
            a.sin6_addr.s6_addr[11] = 0xFF;
            std::memcpy(&a.sin6_addr.s6_addr[12], &v4, sizeof v4);
            out.size = sizeof a;
        }
        return out;
    }
    if (family != AF_INET6)
        return std::nullopt;
    // The address part is copied into a fixed buffer, so that a send allocates nothing.
    char address[kAddressTextSize];
    const char* percent = std::strchr(text, '%');
    std::size_t length = percent ? std::size_t(percent - text) : std::strlen(text);
    if (length >= sizeof address)
        return std::nullopt;
    std::memcpy(address, text, length);
    address[length] = 0;
    uint32_t scope = 0;
    if (percent && (scope = ScopeOf(percent + 1)) == 0)
        return std::nullopt;
    auto& a = reinterpret_cast<sockaddr_in6&>(out.storage);
    if (inet_pton(AF_INET6, address, &a.sin6_addr) != 1)
        return std::nullopt;
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    a.sin6_scope_id = scope;
    out.size = sizeof a;
    return out;
}

bool FormatSocketAddress(const sockaddr* address, char* text, std::size_t capacity,
                         uint16_t* port) {
    if (!address || !text || capacity == 0)
        return false;
    if (address->sa_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(address);
        if (port)
            *port = ntohs(a->sin_port);
        return inet_ntop(AF_INET, &a->sin_addr, text, capacity) != nullptr;
    }
    if (address->sa_family != AF_INET6)
        return false;
    const auto* a = reinterpret_cast<const sockaddr_in6*>(address);
    if (port)
        *port = ntohs(a->sin6_port);
    if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr))
        return inet_ntop(AF_INET, &a->sin6_addr.s6_addr[12], text, capacity) != nullptr;
    char plain[INET6_ADDRSTRLEN];
    if (!inet_ntop(AF_INET6, &a->sin6_addr, plain, sizeof plain))
        return false;
    int n = a->sin6_scope_id == 0
                ? std::snprintf(text, capacity, "%s", plain)
                : std::snprintf(text, capacity, "%s%%%u", plain, unsigned(a->sin6_scope_id));
    return n > 0 && std::size_t(n) < capacity;
}

} // namespace vessaro
