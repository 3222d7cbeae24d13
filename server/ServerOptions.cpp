#include "ServerOptions.h"

#include "Codec.h"
#include "Datagram.h"

#include <CLI/CLI.hpp>
#include <cmath>

namespace vessaro {

void AddServerOptions(CLI::App& app, ServerOptions& o) {
    app.add_option("--bind", o.bind, "IPv4 address to listen on")->capture_default_str();
    app.add_option("--port", o.port, "UDP port of the matching protocol (0: any free port)")
        ->capture_default_str();
    app.add_option("--max-sessions", o.maxSessions, "most sessions open at once")
        ->check(CLI::Range(std::size_t(1), std::size_t(100000000)))
        ->capture_default_str();
    app.add_option("--max-sessions-per-address", o.maxSessionsPerAddress,
                   "most sessions open at once from one IP address")
        ->check(CLI::Range(std::size_t(1), std::size_t(100000000)))
        ->capture_default_str();
    app.add_option("--notice-url", o.noticeUrl, "info page address sent to clients in notices")
        ->capture_default_str();
    app.add_option("--notice-interval", o.noticeInterval,
                   "seconds between notices to idle and waiting clients")
        ->check(CLI::Range(0.1, 19.0))
        ->capture_default_str();
    app.add_option("--probe-interval", o.probeInterval, "seconds between probes of a conversation")
        ->check(CLI::Range(0.1, 19.0))
        ->capture_default_str();
    app.add_option("--any-topic-after", o.anyTopicAfter,
                   "seconds of waiting after which a user may be paired across topics")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();
    app.add_option("--text-rate", o.textRate, "texts per second one session may send")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--address-rate", o.addressRate, "datagrams per second one IP address may send")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--stats-interval", o.statsInterval, "seconds between stats lines (0: none)")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    app.add_option("--site-dir", o.siteDir, "folder of the web pages to serve")
        ->capture_default_str();
    app.add_option("--http-port", o.httpPort, "TCP port of the web pages (0: do not serve them)")
        ->capture_default_str();
}

bool MakeServerConfig(const ServerOptions& o, ServerConfig& config, std::string& error) {
    std::optional<std::string> url = EncodeGbk(o.noticeUrl);
    if (!url) {
        error = "the notice address is not valid UTF-8";
        return false;
    }
    if (url->size() >= offsets::kNoticeTextSize) {
        error = "the notice address is longer than " +
                std::to_string(offsets::kNoticeTextSize - 1) + " bytes";
        return false;
    }
    auto ms = [](double seconds) { return int64_t(std::llround(seconds * 1000.0)); };
    config.maxSessions = o.maxSessions;
    config.maxSessionsPerAddress = o.maxSessionsPerAddress;
    config.noticeUrl = *url;
    config.noticeIntervalMs = ms(o.noticeInterval);
    config.probeIntervalMs = ms(o.probeInterval);
    config.anyTopicAfterMs = ms(o.anyTopicAfter);
    config.textsPerSecondPerSession = o.textRate;
    config.datagramsPerSecondPerAddress = o.addressRate;
    return true;
}

} // namespace vessaro
