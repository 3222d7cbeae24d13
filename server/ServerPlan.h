#pragma once

#include "Endpoint.h"
#include "ServerConfig.h"
#include "ServerOptions.h"
#include "cluster/RedisUrl.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vessaro {

class Logger;

// Everything the settings decide before a socket is opened.
struct ServerPlan {
    ServerOptions options;
    std::vector<Endpoint> udpAddresses;
    std::string metricsHost;
    uint16_t metricsPort = 0;
    std::string noticeUrl; // UTF-8, as sent in notices
    ServerConfig config;
    // In a cluster: where its Redis is (with the credentials of the password file), the shared
    // secret, and the address the other nodes reach
    // this one at ("" until the port is known when it is derived: see NodeAddressFor).
    std::optional<cluster::RedisUrl> clusterUrl;
    std::vector<uint8_t> clusterSecret;
    std::string nodeAddress;
};

// Turns the options into a plan; "" when they make sense, otherwise what is wrong with them.
// Warnings (no IPv6 here, a notice address remote clients could not open) go to log when there
// is one. A reload passes the addresses already bound, which only a restart changes, so that the
// loop never waits for a name look-up.
std::string MakeServerPlan(const ServerOptions& options, Logger* log, ServerPlan& plan,
                           const std::vector<Endpoint>* bound = nullptr);

// The address the other nodes reach this one at: --node-address when given, else the bind address
// (this machine's first public address for a wildcard one) with the port bound. warning says
// when that is a loopback address, which other machines cannot reach.
std::string NodeAddressFor(const ServerPlan& plan, uint16_t boundPort, std::string& warning);

} // namespace vessaro
