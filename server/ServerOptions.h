#pragma once

#include "ServerConfig.h"

#include <cstdint>
#include <string>

namespace CLI {
class App;
}

namespace vessaro {

// The command line of vessaro-server. Times are given in seconds.
struct ServerOptions {
    std::string bind = "0.0.0.0";
    uint16_t port = 13366;
    std::size_t maxSessions = 20000;
    std::size_t maxSessionsPerAddress = 64;
    std::string noticeUrl = "http://127.0.0.1:8080/match/adv.html"; // UTF-8
    double noticeInterval = 10.0;
    double probeInterval = 5.0;
    double anyTopicAfter = 10.0;
    double textRate = 20.0;
    double addressRate = 1000.0;
    double statsInterval = 60.0;
    std::string siteDir;
    uint16_t httpPort = 8080;
};

// Declares every option on app, with its default and its valid range.
void AddServerOptions(CLI::App& app, ServerOptions& options);

// The protocol core's settings for the options; false, with the reason in error, when the notice
// address cannot be sent (not UTF-8, or longer than 255 bytes once encoded).
bool MakeServerConfig(const ServerOptions& options, ServerConfig& config, std::string& error);

} // namespace vessaro
