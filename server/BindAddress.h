#pragma once

#include "Endpoint.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vessaro {

// The addresses to listen on for an IPv4 or IPv6 literal or a host name: the literal itself, or
// the first address of each family the name resolves to (IPv4 first). False, with the reason in
// error, when the name does not resolve.
bool ResolveBindAddresses(const std::string& text, std::vector<Endpoint>& addresses,
                          std::string& error);

// "host:port", "[v6]:port" or "a.b.c.d:port" split in two; false, with the reason in error, for
// anything else (no port, a port above 65535, an unbracketed IPv6 address).
bool ParseHostPort(const std::string& text, std::string& host, uint16_t& port, std::string& error);

bool IsLoopback(const Endpoint& address);
bool IsUnspecified(const Endpoint& address);

// True when this machine can open an IPv6 socket on "::".
bool Ipv6Available();

// The first address of this machine's network interfaces that is neither loopback nor link-local
// (IPv4 before IPv6); none when it has no such address.
bool FirstPublicAddress(Endpoint& address);

} // namespace vessaro
