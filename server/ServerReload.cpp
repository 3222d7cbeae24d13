#include "ServerReload.h"

#include "Log.h"
#include "MatchServer.h"
#include "ServerOptions.h"
#include "ServerPlan.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <optional>

namespace vessaro {
namespace {

// The options only a restart can change: the sockets, the listeners and the loop's timing.
const char* const kRestartOnly[] = {"bind",
                                    "port",
                                    "http-port",
                                    "site-dir",
                                    "metrics-bind",
                                    "cluster",
                                    "node-address",
                                    "cluster-secret-file",
                                    "cluster-password-file",
                                    "stats-interval"};

bool NeedsRestart(const std::string& option) {
    return std::find(std::begin(kRestartOnly), std::end(kRestartOnly), option) !=
           std::end(kRestartOnly);
}

// The option that sets a ServerConfig field ("maxUnproven" -> "max-unproven") when there is one
// of that name, else the field's own name.
std::string OptionNameOf(const std::string& field,
                         const std::map<std::string, std::string>& options) {
    std::string name;
    for (char c : field) {
        if (std::isupper(static_cast<unsigned char>(c)))
            name += '-';
        name += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return options.count(name) ? name : field;
}

// One line per option whose value changed, saying when it waits for a restart.
void LogChangedOptions(const std::map<std::string, std::string>& before,
                       const std::map<std::string, std::string>& after, Logger& log) {
    for (const auto& [name, value] : after) {
        const std::string old = before.count(name) ? before.at(name) : "";
        if (value == old)
            continue;
        log.Info("reload: " + name + " " + old + " -> " + value +
                 (NeedsRestart(name) ? " (needs a restart; not applied)" : ""));
    }
}

// The new options with what a restart would change kept as it runs, so that the next reload
// reports it again.
ServerOptions KeepRestartOnly(const ServerOptions& next, const ServerOptions& was) {
    ServerOptions kept = next;
    kept.bind = was.bind;
    kept.port = was.port;
    kept.httpPort = was.httpPort;
    kept.siteDir = was.siteDir;
    kept.metricsBind = was.metricsBind;
    kept.statsInterval = was.statsInterval;
    kept.cluster = was.cluster;
    kept.nodeAddress = was.nodeAddress;
    kept.clusterSecretFile = was.clusterSecretFile;
    kept.clusterPasswordFile = was.clusterPasswordFile;
    return kept;
}

} // namespace

void ReloadServer(const std::vector<std::string>& arguments, const std::string& defaultConfig,
                  ServerPlan& running, MatchServer& core, Logger& log) {
    ServerOptions fresh;
    ParseResult parsed = ParseServerOptions(arguments, ProcessEnvironment(), defaultConfig, fresh);
    ServerPlan next;
    std::string error = parsed.kind == ParseResult::Run
                            ? MakeServerPlan(fresh, nullptr, next, &running.udpAddresses)
                            : parsed.message;
    if (!error.empty()) {
        log.Error("reload refused, the running settings stay: " + error);
        return;
    }
    const auto after = OptionValues(next.options);
    LogChangedOptions(OptionValues(running.options), after, log);
    const std::vector<std::string> needRestart = core.Reload(next.config);
    if (next.noticeUrl != running.noticeUrl)
        log.Info("reload: notices now name " + next.noticeUrl);
    for (const std::string& field : needRestart)
        log.Warn("reload: " + OptionNameOf(field, after) + " needs a restart to change");
    if (std::optional<LogLevel> level = ParseLogLevel(next.options.logLevel))
        log.SetLevel(*level);
    running.options = KeepRestartOnly(next.options, running.options);
    running.config = next.config;
    running.noticeUrl = next.noticeUrl;
}

} // namespace vessaro
