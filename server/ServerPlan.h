#pragma once

#include "Endpoint.h"
#include "ServerConfig.h"
#include "ServerOptions.h"

#include <cstdint>
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
};

// Turns the options into a plan; "" when they make sense, otherwise what is wrong with them.
// Warnings (no IPv6 here, a notice address remote clients could not open) go to log when there
// is one. A reload passes the addresses already bound, which only a restart changes, so that the
// loop never waits for a name look-up.
std::string MakeServerPlan(const ServerOptions& options, Logger* log, ServerPlan& plan,
                           const std::vector<Endpoint>* bound = nullptr);

} // namespace vessaro
