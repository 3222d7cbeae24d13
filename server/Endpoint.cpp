#include "Endpoint.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vessaro {

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
