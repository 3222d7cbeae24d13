// vessaro-server: the matching server. Grants sessions, pairs users, relays their texts, and can
// serve the web site's default pages, its metrics and its health.

#include "ConfigPaths.h"
#include "HttpListeners.h"
#include "Log.h"
#include "MatchServer.h"
#include "OsRandom.h"
#include "ServerLoop.h"
#include "ServerOptions.h"
#include "ServerPlan.h"
#include "ServerReload.h"
#include "ServiceHooks.h"
#include "StatsSnapshot.h"
#include "SystemdNotify.h"
#include "cluster/RedisCluster.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

using namespace vessaro;

constexpr int kConfigurationError = 2;
constexpr int kRuntimeError = 1;

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

// From here on SIGINT and SIGTERM stop the loop and SIGHUP reloads; the handlers only write to
// the loop's event.
void RouteSignalsTo(ServerLoop& loop) {
    g_loop = &loop;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = OnReloadSignal;
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    BlockSignals(false);
}

// --help and --version print to standard output; a bad setting is reported on standard error.
int ReportParseExit(const ParseResult& parsed) {
    if (parsed.exitCode == 0)
        std::fputs(parsed.message.c_str(), stdout);
    else
        std::fprintf(stderr, "vessaro-server: %s\n", parsed.message.c_str());
    return parsed.exitCode;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& p : parts)
        text += (text.empty() ? "" : " ") + p;
    return text;
}

// Joins the cluster the plan names, on the loop's port; null, with the reason in error, when Redis
// cannot be reached.
std::unique_ptr<cluster::RedisCluster> JoinCluster(const ServerPlan& plan, ServerLoop& loop,
                                                   Logger& log, std::string& error) {
    cluster::RedisClusterSettings settings;
    settings.url = *plan.clusterUrl;
    settings.secret = plan.clusterSecret;
    std::string warning;
    settings.nodeAddress = NodeAddressFor(plan, loop.port(), warning);
    if (!warning.empty())
        log.Warn(warning);
    settings.log = [&log](bool isWarning, const std::string& message) {
        isWarning ? log.Warn(message) : log.Info(message);
    };
    auto cluster = cluster::RedisCluster::Start(
        std::move(settings), [&loop] { loop.Wake(); }, error);
    if (!cluster) {
        error = "cannot join the cluster: " + error;
        return nullptr;
    }
    log.Info("joined the cluster at " + plan.clusterUrl->Text() + " as node " +
             std::to_string(cluster->SelfNode()) + ", reached at " + cluster->Status().nodeAddress);
    return cluster;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string defaultConfig = DefaultConfigPath(ProgramPath());
    ServerOptions options;
    ParseResult parsed =
        ParseServerOptions(arguments, ProcessEnvironment(), defaultConfig, options);
    if (parsed.kind == ParseResult::Exit)
        return ReportParseExit(parsed);
    Logger log(ParseLogLevel(options.logLevel).value_or(LogLevel::Info), Logger::StderrIsJournal());
    ServerPlan plan;
    if (std::string error = MakeServerPlan(options, &log, plan); !error.empty()) {
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
    std::unique_ptr<cluster::RedisCluster> cluster;
    if (plan.clusterUrl) {
        cluster = JoinCluster(plan, *loop, log, error);
        if (!cluster) {
            log.Error(error);
            return kRuntimeError;
        }
    }
    StatsSnapshot snapshot([&loop] { loop->Wake(); }, &ServerLoop::NowMs);
    HttpListeners http(snapshot);
    std::function<cluster::ClusterStatus()> clusterStatus;
    if (cluster)
        clusterStatus = [c = cluster.get()] { return c->Status(); };
    if (error = http.Start(plan, clusterStatus); !error.empty()) {
        log.Error(error);
        return kRuntimeError;
    }
    RouteSignalsTo(*loop);

    OsRandom random;
    MatchServer core(
        plan.config,
        [&loop](const Endpoint& to, std::span<const uint8_t> datagram) {
            loop->Send(to, datagram);
        },
        [&random] { return random.Next(); });
    LoopHooks hooks = MakeServiceHooks(plan.options.statsInterval, log);
    hooks.snapshot = &snapshot;
    hooks.reload = [&] { ReloadServer(arguments, defaultConfig, plan, core, log); };
    if (cluster) {
        core.AttachCluster(cluster.get());
        hooks.woken = [&core, c = cluster.get()](int64_t nowMs) {
            c->DeliverEvents(
                [&](const cluster::ClusterEvent& e) { core.OnClusterEvent(e, nowMs); });
        };
    }

    std::printf("vessaro-server: ready on %s (%s)\n", Join(loop->BoundText()).c_str(),
                http.Describe().c_str());
    std::fflush(stdout);
    log.Info("notices name " + plan.noticeUrl);
    NotifyServiceManager("READY=1\n" + ServiceStatus(ServerStats{}));
    loop->Run(core, hooks);
    if (cluster) {
        // Leaves last: the goodbyes above may still have sent to other nodes.
        cluster->Stop();
    }
    http.Stop();
    log.Info("stopped");
    return 0;
}
