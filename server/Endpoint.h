#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vessaro {

// A client's UDP address: IPv4 address and port, both in host byte order.
struct Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

struct EndpointHash {
    std::size_t operator()(const Endpoint& e) const {
        return std::hash<uint64_t>{}(uint64_t(e.address) << 16 | e.port);
    }
};

// "a.b.c.d" for an address in host byte order.
std::string DottedAddress(uint32_t address);

// The address of dotted text such as "127.0.0.1"; false when the text is not one.
bool ParseDottedAddress(const std::string& text, uint32_t& address);

} // namespace vessaro
