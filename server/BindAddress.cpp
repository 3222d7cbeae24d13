#include "BindAddress.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {

bool ResolveBindAddresses(const std::string& text, std::vector<Endpoint>& addresses,
                          std::string& error) {
    addresses.clear();
    Endpoint literal;
    if (ParseAddress(text, literal)) {
        addresses.push_back(literal);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int result =
        text.empty() ? EAI_NONAME : getaddrinfo(text.c_str(), nullptr, &hints, &found);
    if (result != 0) {
        error = "cannot resolve the address " + (text.empty() ? std::string("\"\"") : text) + ": " +
                gai_strerror(result);
        return false;
    }
    Endpoint v4, v6;
    bool haveV4 = false, haveV6 = false;
    for (addrinfo* a = found; a; a = a->ai_next) {
        Endpoint e;
        if (!FromSockaddr(a->ai_addr, e))
            continue;
        if (e.IsV4() && !haveV4) {
            v4 = e;
            haveV4 = true;
        } else if (!e.IsV4() && !haveV6) {
            v6 = e;
            haveV6 = true;
        }
    }
    freeaddrinfo(found);
    if (haveV4)
        addresses.push_back(Endpoint(v4.V4(), 0));
    if (haveV6)
        addresses.push_back(Endpoint(v6.address, 0));
    if (addresses.empty())
        error = "no IPv4 or IPv6 address for " + text;
    return !addresses.empty();
}

bool ParseHostPort(const std::string& text, std::string& host, uint16_t& port, std::string& error) {
    error = "not host:port or [IPv6]:port: \"" + text + "\"";
    std::size_t colon;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        host = text.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = text.find(':');
        if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos)
            return false;
        host = text.substr(0, colon);
    }
    const std::string digits = text.substr(colon + 1);
    if (host.empty() || digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const unsigned long value = std::stoul(digits);
    if (value > 65535)
        return false;
    port = uint16_t(value);
    error.clear();
    return true;
}

bool IsLoopback(const Endpoint& e) {
    if (e.IsV4())
        return (e.V4() >> 24) == 127;
    static const std::array<uint8_t, 16> kLoopback = {0, 0, 0, 0, 0, 0, 0, 0,
                                                      0, 0, 0, 0, 0, 0, 0, 1};
    return e.address == kLoopback;
}

bool IsUnspecified(const Endpoint& e) {
    if (e.IsV4())
        return e.V4() == 0;
    return std::all_of(e.address.begin(), e.address.end(), [](uint8_t b) { return b == 0; });
}

bool Ipv6Available() {
    const int s = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_addr = in6addr_any;
    const bool ok = bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
    close(s);
    return ok;
}

bool FirstPublicAddress(Endpoint& address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool haveV6 = false;
    bool found = false;
    for (ifaddrs* i = list; i && !found; i = i->ifa_next) {
        Endpoint e;
        if (!i->ifa_addr || !FromSockaddr(i->ifa_addr, e) || IsLoopback(e) || IsUnspecified(e))
            continue;
        const bool linkLocal = e.IsV4() ? (e.V4() >> 16) == 0xA9FE
                                        : e.address[0] == 0xfe && (e.address[1] & 0xc0) == 0x80;
        if (linkLocal)
            continue;
        if (e.IsV4()) {
            address = Endpoint(e.V4(), 0);
            found = true;
        } else if (!haveV6) {
            address = Endpoint(e.address, 0);
            haveV6 = true;
        }
    }
    freeifaddrs(list);
    return found || haveV6;
}

} // namespace vessaro
