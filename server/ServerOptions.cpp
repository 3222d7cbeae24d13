#include "ServerOptions.h"

#include "BuildConfig.h"
#include "Codec.h"
#include "Datagram.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

extern char** environ;

namespace vessaro {
namespace {

constexpr const char* kConfigOption = "--config";

// Declares one option with its range; the help names the environment variable that may set it.
template <typename T>
CLI::Option* Add(CLI::App& app, const std::string& name, T& value, const std::string& help) {
    return app.add_option(name, value, help + " [" + EnvironmentName(name) + "]")
        ->capture_default_str();
}

template <typename T>
void AddRanged(CLI::App& app, const std::string& name, T& value, T low, T high,
               const std::string& help) {
    Add(app, name, value, help)->check(CLI::Range(low, high));
}

// The file --config names on the command line or in VESSARO_CONFIG, else defaultConfig when it
// exists; "" for none. error is set when a named file is missing or unreadable.
std::string ChooseConfigFile(const std::vector<std::string>& arguments,
                             const Environment& environment, const std::string& defaultConfig,
                             std::string& error) {
    std::string chosen;
    bool named = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == kConfigOption && i + 1 < arguments.size()) {
            chosen = arguments[i + 1];
            named = true;
        } else if (a.rfind(std::string(kConfigOption) + "=", 0) == 0) {
            chosen = a.substr(std::string(kConfigOption).size() + 1);
            named = true;
        }
    }
    if (!named) {
        auto it = environment.find(EnvironmentName(kConfigOption));
        if (it != environment.end()) {
            chosen = it->second;
            named = true;
        }
    }
    if (!named) {
        if (defaultConfig.empty() || access(defaultConfig.c_str(), F_OK) != 0)
            return "";
        chosen = defaultConfig;
    }
    if (chosen.empty())
        return ""; // an empty name asks for no file at all
    std::error_code ignored;
    if (access(chosen.c_str(), R_OK) != 0 || !std::ifstream(chosen).good())
        error = "cannot read the configuration file " + chosen + ": " + std::strerror(errno);
    else if (!std::filesystem::is_regular_file(chosen, ignored))
        error = "the configuration file " + chosen + " is not a file";
    return chosen;
}

// The command line with the environment's settings before it: an option given twice takes its
// last value, so the command line wins; and the configuration file only fills options that
// neither gave.
std::vector<std::string> MergedArguments(const CLI::App& app,
                                         const std::vector<std::string>& arguments,
                                         const Environment& environment) {
    std::vector<std::string> merged;
    for (const auto& [name, value] : environment) {
        if (name == EnvironmentName(kConfigOption) || name.rfind("VESSARO_", 0) != 0)
            continue;
        for (const CLI::Option* option : app.get_options()) {
            const auto& names = option->get_lnames();
            if (option->get_configurable() && !names.empty() &&
                EnvironmentName("--" + names.front()) == name) {
                merged.push_back("--" + names.front());
                merged.push_back(value);
            }
        }
    }
    merged.insert(merged.end(), arguments.begin(), arguments.end());
    return merged;
}

// Parses args (in order) into a fresh set of options; the CLI11 error, if any, is rethrown.
void ParseInto(std::vector<std::string> args, const std::string& configFile,
               ServerOptions& options) {
    CLI::App app{"Vessaro matching server", "vessaro-server"};
    AddServerOptions(app, options);
    if (!configFile.empty())
        app.set_config(kConfigOption, configFile, "configuration file (TOML)");
    std::reverse(args.begin(), args.end());
    app.parse(args);
}

// Finds the source of a setting that the whole parse refused: the file, one variable, or else the
// command line.
std::string Blame(const Environment& environment, const std::string& configFile,
                  const std::string& whole) {
    auto clean = [](std::string message) {
        const std::string extra = "INI was not able to parse ";
        if (message.rfind(extra, 0) == 0)
            message = "unknown key " + message.substr(extra.size());
        return message;
    };
    if (!configFile.empty()) {
        try {
            ServerOptions scratch;
            ParseInto({}, configFile, scratch);
        } catch (const CLI::ParseError& e) {
            return configFile + ": " + clean(e.what());
        }
    }
    CLI::App probe;
    ServerOptions scratch;
    AddServerOptions(probe, scratch);
    for (const auto& [name, value] : environment) {
        std::vector<std::string> one = MergedArguments(probe, {}, {{name, value}});
        if (one.empty())
            continue;
        try {
            ServerOptions options;
            ParseInto(one, "", options);
        } catch (const CLI::ParseError& e) {
            return name + "=" + value + ": " + e.what();
        }
    }
    return whole;
}

} // namespace

std::string EnvironmentName(const std::string& longOption) {
    std::string name = "VESSARO_";
    for (char c : longOption.substr(longOption.find_first_not_of('-')))
        name += c == '-' ? '_' : char(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

Environment ProcessEnvironment() {
    Environment environment;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        auto equals = entry.find('=');
        if (entry.rfind("VESSARO_", 0) == 0 && equals != std::string::npos)
            environment[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    return environment;
}

void AddServerOptions(CLI::App& app, ServerOptions& o) {
    using std::size_t;
    const size_t many = 100000000;
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_config_extras(false);
    app.set_version_flag("--version", VersionLine("vessaro-server"));

    Add(app, "--bind", o.bind, "address or host name to listen on (\"::\": IPv6 and IPv4)");
    Add(app, "--port", o.port, "UDP port of the matching protocol (0: any free port)");
    Add(app, "--public-url", o.publicUrl,
        "web address clients reach this server's pages at, e.g. https://chat.example.org");
    Add(app, "--notice-url", o.noticeUrl,
        "info page address sent in notices (default: <public-url>/match/adv.html)");
    Add(app, "--http-port", o.httpPort, "TCP port of the web pages (0: do not serve them)");
    Add(app, "--site-dir", o.siteDir,
        "folder of the web pages (default: <program>/../share/vessaro/site)");
    Add(app, "--metrics-bind", o.metricsBind,
        "host:port of /metrics and /healthz (\"\": off; [v6]:port for IPv6)");
    Add(app, "--log-level", o.logLevel, "error, warn, info or debug")
        ->check(CLI::IsMember({"error", "warn", "info", "debug"}));
    AddRanged(app, "--stats-interval", o.statsInterval, 0.0, 86400.0,
              "seconds between stats lines at debug level (0: none)");
    Add(app, "--cluster", o.cluster,
        "join the cluster of nodes sharing one pool through Redis at redis://HOST:PORT[/DB] "
        "(\"\": run alone)");
    Add(app, "--node-address", o.nodeAddress,
        "host:port the other nodes of the cluster reach this one at (default: from --bind and "
        "--port)");
    Add(app, "--cluster-secret-file", o.clusterSecretFile,
        "file holding the secret the cluster's nodes share (at least 16 bytes)");
    Add(app, "--cluster-password-file", o.clusterPasswordFile,
        "file holding PASSWORD or USER PASSWORD (an ACL user) for the cluster's Redis, readable "
        "by the server only (\"\": Redis asks for none)");

    AddRanged(app, "--max-sessions", o.maxSessions, size_t(1), many, "most sessions open at once");
    AddRanged(app, "--max-sessions-per-address", o.maxSessionsPerAddress, size_t(1), many,
              "most sessions open at once from one IP address");
    AddRanged(app, "--notice-interval", o.noticeInterval, 0.1, 19.0,
              "seconds between notices to idle and waiting clients");
    AddRanged(app, "--probe-interval", o.probeInterval, 0.1, 19.0,
              "seconds between probes of a conversation");
    AddRanged(app, "--session-timeout", o.sessionTimeout, 20.0, 3600.0,
              "seconds of silence after which a session is closed");
    AddRanged(app, "--talk-timeout", o.talkTimeout, 10.0, 3600.0,
              "seconds of silence after which a partner in a conversation is taken as gone");
    AddRanged(app, "--offer-timeout", o.offerTimeout, 36.0, 600.0,
              "seconds both users have to accept an offer");
    AddRanged(app, "--any-topic-after", o.anyTopicAfter, 0.0, 3600.0,
              "seconds of waiting after which a user may be paired across topics");
    AddRanged(app, "--retransmit-interval", o.retransmitInterval, 0.1, 10.0,
              "seconds between copies of a notification that must be acknowledged");
    AddRanged(app, "--partner-found-copies", o.partnerFoundCopies, 1, 50,
              "copies of an offer sent until it is acknowledged");
    AddRanged(app, "--talk-start-copies", o.talkStartCopies, 1, 50,
              "copies of a conversation start sent until it is acknowledged");
    AddRanged(app, "--peer-hangup-copies", o.peerHangupCopies, 1, 50,
              "copies of a partner's hang-up sent until it is acknowledged");
    AddRanged(app, "--text-rate", o.textRate, 0.01, 1e9, "texts per second one session may send");
    AddRanged(app, "--address-rate", o.addressRate, 0.01, 1e9,
              "datagrams per second one IP address may send");
    AddRanged(app, "--max-tracked-addresses", o.maxTrackedAddresses, size_t(1), many,
              "addresses whose datagram rate is tracked at once");
    AddRanged(app, "--unproven-lifetime", o.unprovenLifetime, 1.0, 60.0,
              "seconds an address that has not yet answered its grant is remembered");
    AddRanged(app, "--unproven-notice-copies", o.unprovenNoticeCopies, 0, 3,
              "notices sent to an address before it answers its grant");
    AddRanged(app, "--max-unproven", o.maxUnproven, size_t(1), many,
              "addresses waiting to answer their grant remembered at once");
    AddRanged(app, "--unproven-bytes-per-second", o.unprovenBytesPerSecond, 64.0, 1e9,
              "bytes per second sent to unproven addresses of one network (/24 or /64)");
    AddRanged(app, "--max-tracked-networks", o.maxTrackedNetworks, size_t(1), many,
              "networks whose unproven replies are tracked at once");
    AddRanged(app, "--unknown-session-reply-interval", o.unknownSessionReplyInterval, 0.1, 60.0,
              "seconds between answers to one address about sessions the server does not know");
    AddRanged(app, "--closed-memory", o.closedMemory, 1.0, 3600.0,
              "seconds a closed session is remembered, to answer repeated disconnects");
    AddRanged(app, "--max-closed-remembered", o.maxClosedRemembered, size_t(1), many,
              "closed sessions remembered at once");
}

ParseResult ParseServerOptions(const std::vector<std::string>& arguments,
                               const Environment& environment, const std::string& defaultConfig,
                               ServerOptions& options) {
    std::string error;
    const std::string configFile = ChooseConfigFile(arguments, environment, defaultConfig, error);
    if (!error.empty())
        return {ParseResult::Exit, 2, error};
    ServerOptions parsed;
    CLI::App app{"Vessaro matching server", "vessaro-server"};
    AddServerOptions(app, parsed);
    app.set_config(kConfigOption, configFile,
                   "configuration file (TOML; \"\": none) [" + EnvironmentName(kConfigOption) +
                       "]");
    try {
        std::vector<std::string> args = MergedArguments(app, arguments, environment);
        std::reverse(args.begin(), args.end());
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        return {ParseResult::Exit, 0, app.help()};
    } catch (const CLI::CallForVersion& e) {
        return {ParseResult::Exit, 0, std::string(e.what()) + "\n"};
    } catch (const CLI::ParseError& e) {
        return {ParseResult::Exit, 2, Blame(environment, configFile, e.what())};
    }
    parsed.config = configFile;
    options = parsed;
    return {};
}

std::map<std::string, std::string> OptionValues(const ServerOptions& options) {
    ServerOptions copy = options;
    CLI::App app;
    AddServerOptions(app, copy);
    std::map<std::string, std::string> values;
    std::istringstream lines(app.config_to_str(true, false));
    for (std::string line; std::getline(lines, line);) {
        auto equals = line.find('=');
        if (equals == std::string::npos || line[0] == '#')
            continue;
        values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    values.erase("version");
    return values;
}

bool MakeServerConfig(const ServerOptions& o, const std::string& noticeUrl, ServerConfig& config,
                      std::string& error) {
    std::optional<std::string> url = EncodeGbk(noticeUrl);
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
    config.sessionTimeoutMs = ms(o.sessionTimeout);
    config.talkTimeoutMs = ms(o.talkTimeout);
    config.offerTimeoutMs = ms(o.offerTimeout);
    config.anyTopicAfterMs = ms(o.anyTopicAfter);
    config.retransmitIntervalMs = ms(o.retransmitInterval);
    config.partnerFoundCopies = o.partnerFoundCopies;
    config.talkStartCopies = o.talkStartCopies;
    config.peerHangupCopies = o.peerHangupCopies;
    config.textsPerSecondPerSession = o.textRate;
    config.datagramsPerSecondPerAddress = o.addressRate;
    config.maxTrackedAddresses = o.maxTrackedAddresses;
    config.unprovenLifetimeMs = ms(o.unprovenLifetime);
    config.unprovenNoticeCopies = o.unprovenNoticeCopies;
    config.maxUnproven = o.maxUnproven;
    config.unprovenBytesPerSecondPerNetwork = o.unprovenBytesPerSecond;
    config.maxTrackedNetworks = o.maxTrackedNetworks;
    config.unknownSessionReplyIntervalMs = ms(o.unknownSessionReplyInterval);
    config.closedMemoryMs = ms(o.closedMemory);
    config.maxClosedRemembered = o.maxClosedRemembered;
    return true;
}

} // namespace vessaro
