#include "Endpoint.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vessaro {
namespace {

constexpr std::array<uint8_t, 12> kV4MappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

uint64_t ReadBig64(const uint8_t* p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | p[i];
    return value;
}

} // namespace

Endpoint::Endpoint(uint32_t ipv4, uint16_t port) : port(port) {
    std::memcpy(address.data(), kV4MappedPrefix.data(), kV4MappedPrefix.size());
    address[12] = uint8_t(ipv4 >> 24);
    address[13] = uint8_t(ipv4 >> 16);
    address[14] = uint8_t(ipv4 >> 8);
    address[15] = uint8_t(ipv4);
}

bool Endpoint::IsV4() const {
    return std::memcmp(address.data(), kV4MappedPrefix.data(), kV4MappedPrefix.size()) == 0;
}

uint32_t Endpoint::V4() const {
    return uint32_t(address[12]) << 24 | uint32_t(address[13]) << 16 | uint32_t(address[14]) << 8 |
           address[15];
}

AddressKey HostKey(const Endpoint& e) {
    return {ReadBig64(e.address.data()), ReadBig64(e.address.data() + 8)};
}

AddressKey NetworkKey(const Endpoint& e) {
    AddressKey key = HostKey(e);
    if (e.IsV4())
        key.low &= ~uint64_t(0xFF);
    else
        key.low = 0;
    return key;
}

std::string AddressText(const Endpoint& e) {
    if (e.IsV4())
        return DottedAddress(e.V4());
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, e.address.data(), text, sizeof text);
    return text;
}

std::string EndpointText(const Endpoint& e) {
    if (e.IsV4())
        return AddressText(e) + ":" + std::to_string(e.port);
    return "[" + AddressText(e) + "]:" + std::to_string(e.port);
}

std::string DottedAddress(uint32_t address) {
    in_addr a{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool ParseDottedAddress(const std::string& text, uint32_t& address) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    address = ntohl(a.s_addr);
    return true;
}

bool ParseAddress(const std::string& text, Endpoint& endpoint) {
    uint32_t v4 = 0;
    if (ParseDottedAddress(text, v4)) {
        endpoint = Endpoint(v4, 0);
        return true;
    }
    in6_addr a{};
    if (inet_pton(AF_INET6, text.c_str(), &a) != 1)
        return false;
    std::array<uint8_t, 16> bytes;
    std::memcpy(bytes.data(), &a, bytes.size());
    endpoint = Endpoint(bytes, 0);
    return true;
}

bool FromSockaddr(const sockaddr* address, Endpoint& endpoint) {
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        endpoint = Endpoint(ntohl(in->sin_addr.s_addr), ntohs(in->sin_port));
        return true;
    }
    if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        std::array<uint8_t, 16> bytes;
        std::memcpy(bytes.data(), &in6->sin6_addr, bytes.size());
        endpoint = Endpoint(bytes, ntohs(in6->sin6_port));
        return true;
    }
    return false;
}

unsigned ToSockaddr(const Endpoint& endpoint, bool forV6Socket, sockaddr_storage& out) {
    // Only the address written is cleared: this runs for every datagram sent.
    std::memset(&out, 0, forV6Socket ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
    if (forV6Socket) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(endpoint.port);
        std::memcpy(&in6->sin6_addr, endpoint.address.data(), endpoint.address.size());
        return sizeof(sockaddr_in6);
    }
    if (!endpoint.IsV4())
        return 0;
    auto* in = reinterpret_cast<sockaddr_in*>(&out);
    in->sin_family = AF_INET;
    in->sin_port = htons(endpoint.port);
    in->sin_addr.s_addr = htonl(endpoint.V4());
    return sizeof(sockaddr_in);
}

} // namespace vessaro
