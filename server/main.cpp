// vessaro-server: the matching server. Grants sessions, pairs users, relays their texts, and can
// serve the web site's default pages, its metrics and its health.

#include "BindAddress.h"
#include "ConfigPaths.h"
#include "Log.h"
#include "MatchServer.h"
#include "MetricsText.h"
#include "NoticeAddress.h"
#include "OsRandom.h"
#include "ServerLoop.h"
#include "ServerOptions.h"
#include "SiteServer.h"
#include "StatsSnapshot.h"
#include "SystemdNotify.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <pthread.h>
#include <unistd.h>

namespace {

using namespace vessaro;

constexpr int kConfigurationError = 2;
constexpr int kRuntimeError = 1;
constexpr int64_t kHealthyTurnMs = 5000; // the loop wakes at least every second

ServerLoop* g_loop = nullptr;

extern "C" void OnStopSignal(int) {
    if (g_loop)
        g_loop->RequestStop();
}

extern "C" void OnReloadSignal(int) {
    if (g_loop)
        g_loop->RequestReload();
}

// Only the main thread takes the stop and reload signals: threads started while they are blocked
// keep them blocked.
void BlockSignals(bool block) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&set, s);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void InstallSignalHandlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = OnReloadSignal;
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Everything the settings decide before a socket is opened.
struct Plan {
    ServerOptions options;
    std::vector<Endpoint> udpAddresses;
    std::string metricsHost;
    uint16_t metricsPort = 0;
    std::string noticeUrl; // UTF-8, as sent in notices
    ServerConfig config;
};

// Turns the options into a plan; "" when they make sense, otherwise what is wrong with them.
// A reload passes the addresses already bound, which only a restart changes, so that the loop
// never waits for a name look-up.
std::string MakePlan(const ServerOptions& options, Logger* log, Plan& plan,
                     const std::vector<Endpoint>* bound = nullptr) {
    plan.options = options;
    ServerOptions& o = plan.options;
    if (o.bind == "::" && !Ipv6Available()) {
        if (log)
            log->Warn("IPv6 is not available here; serving IPv4 only (0.0.0.0)");
        o.bind = "0.0.0.0";
    }
    std::string error;
    if (bound)
        plan.udpAddresses = *bound;
    else if (!ResolveBindAddresses(o.bind, plan.udpAddresses, error))
        return "--bind: " + error;
    if (!o.metricsBind.empty() &&
        !ParseHostPort(o.metricsBind, plan.metricsHost, plan.metricsPort, error))
        return "--metrics-bind: " + error;
    if (o.siteDir.empty())
        o.siteDir = DefaultSiteDir(ProgramPath());
    Endpoint machine;
    std::optional<Endpoint> machineAddress;
    if (FirstPublicAddress(machine))
        machineAddress = machine;
    NoticeChoice notice = ChooseNoticeUrl(o.noticeUrl, o.publicUrl, o.bind, plan.udpAddresses,
                                          o.httpPort, machineAddress);
    if (!notice.error.empty())
        return notice.error;
    if (!notice.warning.empty() && log)
        log->Warn(notice.warning);
    if (!MakeServerConfig(o, notice.url, plan.config, error))
        return "--notice-url: " + error;
    plan.noticeUrl = notice.url;
    return "";
}

// The options only a restart can change: the sockets, the listeners and the loop's timing.
const char* const kRestartOnly[] = {"bind",     "port",         "http-port",
                                    "site-dir", "metrics-bind", "stats-interval"};

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

// Reads the configuration again (the command line still wins) and applies what changed. A bad
// file or value is logged and the running settings stay.
void Reload(const std::vector<std::string>& arguments, const std::string& defaultConfig,
            Plan& running, MatchServer& core, Logger& log) {
    ServerOptions fresh;
    ParseResult parsed = ParseServerOptions(arguments, ProcessEnvironment(), defaultConfig, fresh);
    Plan next;
    std::string error = parsed.kind == ParseResult::Run
                            ? MakePlan(fresh, nullptr, next, &running.udpAddresses)
                            : parsed.message;
    if (!error.empty()) {
        log.Error("reload refused, the running settings stay: " + error);
        return;
    }
    const auto before = OptionValues(running.options);
    const auto after = OptionValues(next.options);
    for (const auto& [name, value] : after) {
        const std::string old = before.count(name) ? before.at(name) : "";
        if (value == old)
            continue;
        const bool restart = std::find(std::begin(kRestartOnly), std::end(kRestartOnly), name) !=
                             std::end(kRestartOnly);
        log.Info("reload: " + name + " " + old + " -> " + value +
                 (restart ? " (needs a restart; not applied)" : ""));
    }
    const std::vector<std::string> needRestart = core.Reload(next.config);
    if (next.noticeUrl != running.noticeUrl)
        log.Info("reload: notices now name " + next.noticeUrl);
    for (const std::string& field : needRestart)
        log.Warn("reload: " + OptionNameOf(field, after) + " needs a restart to change");
    if (std::optional<LogLevel> level = ParseLogLevel(next.options.logLevel))
        log.SetLevel(*level);
    // What a restart would change stays as it runs, so that the next reload reports it again.
    ServerOptions kept = next.options;
    const ServerOptions& was = running.options;
    kept.bind = was.bind;
    kept.port = was.port;
    kept.httpPort = was.httpPort;
    kept.siteDir = was.siteDir;
    kept.metricsBind = was.metricsBind;
    kept.statsInterval = was.statsInterval;
    running.options = kept;
    running.config = next.config;
    running.noticeUrl = next.noticeUrl;
}

std::string StatusText(const ServerStats& s) {
    return "STATUS=" + std::to_string(s.sessions) + " sessions, " + std::to_string(s.waiting) +
           " waiting, " + std::to_string(s.conversations) + " conversations";
}

std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& p : parts)
        text += (text.empty() ? "" : " ") + p;
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string defaultConfig = DefaultConfigPath(ProgramPath());
    ServerOptions options;
    ParseResult parsed =
        ParseServerOptions(arguments, ProcessEnvironment(), defaultConfig, options);
    if (parsed.kind == ParseResult::Exit) {
        if (parsed.exitCode == 0)
            std::fputs(parsed.message.c_str(), stdout);
        else
            std::fprintf(stderr, "vessaro-server: %s\n", parsed.message.c_str());
        return parsed.exitCode;
    }
    Logger log(ParseLogLevel(options.logLevel).value_or(LogLevel::Info), Logger::StderrIsJournal());
    Plan plan;
    if (std::string error = MakePlan(options, &log, plan); !error.empty()) {
        log.Error(error);
        return kConfigurationError;
    }
    if (!plan.options.config.empty())
        log.Info("configuration read from " + plan.options.config);

    BlockSignals(true);
    std::string error;
    auto loop = ServerLoop::Open(plan.udpAddresses, plan.options.port, error);
    if (!loop) {
        log.Error("cannot open the matching port: " + error);
        return kRuntimeError;
    }
    // The handlers read what the loop publishes; they are called only once the loop runs.
    StatsSnapshot snapshot([&loop] { loop->Wake(); }, &ServerLoop::NowMs);
    std::atomic<const SiteServer*> listeners[2] = {nullptr, nullptr};
    HttpHandler metrics = [&snapshot, &listeners] {
        std::optional<ServerStats> stats = snapshot.Read();
        if (!stats)
            return HttpReply{503, "text/plain; charset=utf-8", "stats not available\n"};
        MetricsInput input{*stats, 0};
        for (const auto& listener : listeners) {
            if (const SiteServer* l = listener.load())
                input.httpRequests += l->requests();
        }
        return HttpReply{200, "text/plain; version=0.0.4; charset=utf-8", FormatMetrics(input)};
    };
    HttpHandler health = [&snapshot] {
        return snapshot.Alive(kHealthyTurnMs)
                   ? HttpReply{200, "text/plain; charset=utf-8", "ok\n"}
                   : HttpReply{503, "text/plain; charset=utf-8", "the server loop is stuck\n"};
    };
    std::unique_ptr<SiteServer> site, metricsSite;
    if (plan.options.httpPort != 0) {
        SiteServerOptions web;
        web.bind = plan.options.bind;
        web.port = plan.options.httpPort;
        web.siteDir = plan.options.siteDir;
        site = SiteServer::Start(web, error);
        if (!site) {
            log.Error(error + " (--http-port 0 runs without web pages)");
            return kRuntimeError;
        }
        listeners[0] = site.get();
    }
    if (!plan.options.metricsBind.empty()) {
        SiteServerOptions web;
        web.bind = plan.metricsHost;
        web.port = plan.metricsPort;
        web.handlers = {{"/metrics", metrics}, {"/healthz", health}};
        metricsSite = SiteServer::Start(web, error);
        if (!metricsSite) {
            log.Error(error + " (--metrics-bind \"\" runs without metrics)");
            return kRuntimeError;
        }
        listeners[1] = metricsSite.get();
    }
    g_loop = loop.get();
    InstallSignalHandlers();
    BlockSignals(false);

    OsRandom random;
    MatchServer core(
        plan.config,
        [&loop](const Endpoint& to, std::span<const uint8_t> datagram) {
            loop->Send(to, datagram);
        },
        [&random] { return random.Next(); });

    LoopHooks hooks;
    hooks.snapshot = &snapshot;
    hooks.reload = [&] { Reload(arguments, defaultConfig, plan, core, log); };
    hooks.stopping = [&log] {
        NotifyServiceManager("STOPPING=1");
        log.Info("stopping: telling every client");
    };
    hooks.statsIntervalMs = int64_t(plan.options.statsInterval * 1000.0);
    std::string lastStats;
    hooks.stats = [&](const ServerStats& stats) {
        std::string line = FormatStatsLine(stats);
        if (line == lastStats)
            return;
        lastStats = line;
        log.Debug(line);
        NotifyServiceManager(StatusText(stats));
    };
    hooks.watchdogIntervalMs = WatchdogPingIntervalMs();
    hooks.watchdog = [] { NotifyServiceManager("WATCHDOG=1"); };

    std::string http = site ? "http " + std::to_string(site->port()) : "http off";
    const bool v6Host = plan.metricsHost.find(':') != std::string::npos;
    http += metricsSite
                ? ", metrics " + (v6Host ? "[" + plan.metricsHost + "]" : plan.metricsHost) + ":" +
                      std::to_string(metricsSite->port())
                : ", metrics off";
    std::printf("vessaro-server: ready on %s (%s)\n", Join(loop->BoundText()).c_str(),
                http.c_str());
    std::fflush(stdout);
    log.Info("notices name " + plan.noticeUrl);
    NotifyServiceManager("READY=1\n" + StatusText(ServerStats{}));
    loop->Run(core, hooks);
    if (metricsSite)
        metricsSite->Stop();
    if (site)
        site->Stop();
    log.Info("stopped");
    return 0;
}
