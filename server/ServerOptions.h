#pragma once

#include "ServerConfig.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vessaro {

// The settings of vessaro-server, from its command line, its environment (VESSARO_*) and its
// configuration file. Times are given in seconds.
struct ServerOptions {
    std::string config; // the configuration file that was read ("" when none)
    std::string bind = "::";
    uint16_t port = 13366;
    std::string publicUrl;
    std::string noticeUrl; // UTF-8; empty: derived from --public-url or the web address
    uint16_t httpPort = 8080;
    std::string siteDir;
    std::string metricsBind = "127.0.0.1:9366";
    std::string logLevel = "info";
    double statsInterval = 60.0;
    std::string cluster;             // redis://HOST:PORT[/DB]; empty: a server on its own
    std::string nodeAddress;         // HOST:PORT the other nodes reach this one at; empty: derived
    std::string clusterSecretFile;   // the cluster's shared secret
    std::string clusterPasswordFile; // PASSWORD or USER PASSWORD for Redis; empty: no AUTH

    std::size_t maxSessions = 20000;
    std::size_t maxSessionsPerAddress = 64;
    double noticeInterval = 10.0;
    double probeInterval = 5.0;
    double sessionTimeout = 60.0;
    double talkTimeout = 30.0;
    double offerTimeout = 40.0;
    double anyTopicAfter = 10.0;
    double retransmitInterval = 1.0;
    int partnerFoundCopies = 5;
    int talkStartCopies = 10;
    int peerHangupCopies = 5;
    double textRate = 20.0;
    double addressRate = 1000.0;
    std::size_t maxTrackedAddresses = 65536;
    double unprovenLifetime = 15.0;
    int unprovenNoticeCopies = 3;
    std::size_t maxUnproven = 16384;
    double unprovenBytesPerSecond = 1024.0;
    std::size_t maxTrackedNetworks = 65536;
    double unknownSessionReplyInterval = 1.0;
    double closedMemory = 30.0;
    std::size_t maxClosedRemembered = 65536;
};

using Environment = std::map<std::string, std::string>;

// Declares every option on app, with its default, its valid range and the environment variable
// that may set it.
void AddServerOptions(CLI::App& app, ServerOptions& options);

// The environment variable of an option: "--max-sessions" -> "VESSARO_MAX_SESSIONS".
std::string EnvironmentName(const std::string& longOption);

// The variables of the process environment that start with VESSARO_.
Environment ProcessEnvironment();

struct ParseResult {
    enum Kind { Run, Exit } kind = Run;
    int exitCode = 0;    // for Exit: 0 after --help or --version, 2 for a bad setting
    std::string message; // for Exit: what to print (to standard output when exitCode is 0)
};

// Reads the settings: the command line over the environment over the configuration file (the
// one named by --config or VESSARO_CONFIG, else defaultConfig when it exists) over the defaults.
// A bad value or an unknown key names where it came from.
ParseResult ParseServerOptions(const std::vector<std::string>& arguments,
                               const Environment& environment, const std::string& defaultConfig,
                               ServerOptions& options);

// "name = value" for every option that the configuration file may hold, one a line, in the order
// they are declared: what a reload compares to say what changed.
std::map<std::string, std::string> OptionValues(const ServerOptions& options);

// The protocol core's settings for the options and the notice address to send; false, with the
// reason in error, when the address cannot be sent (not UTF-8, or longer than 255 bytes once
// encoded).
bool MakeServerConfig(const ServerOptions& options, const std::string& noticeUrl,
                      ServerConfig& config, std::string& error);

} // namespace vessaro
