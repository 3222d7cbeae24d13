// vessaro-server: the matching server. Grants sessions, pairs users, relays their texts, and can
// serve the web site's default pages.

#include "MatchServer.h"
#include "OsRandom.h"
#include "ServerLoop.h"
#include "ServerOptions.h"
#include "SiteServer.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <pthread.h>

namespace {

vessaro::ServerLoop* g_loop = nullptr;

extern "C" void OnStopSignal(int) {
    if (g_loop)
        g_loop->RequestStop();
}

void Log(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vessaro-server: %s\n", message.c_str());
    return 1;
}

// Only the main thread takes the stop signals: threads started while they are blocked keep them
// blocked.
void BlockStopSignals(bool block) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// The pages of the source tree when they are there; otherwise those installed beside the program
// (<prefix>/bin/vessaro-server and <prefix>/share/vessaro/site).
std::string DefaultSiteDir() {
    std::error_code error;
    if (std::filesystem::is_directory(VESSARO_SITE_DIR, error))
        return VESSARO_SITE_DIR;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return VESSARO_SITE_DIR;
    return (program.parent_path().parent_path() / "share" / "vessaro" / "site").string();
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    vessaro::ServerOptions options;
    options.siteDir = DefaultSiteDir();
    CLI::App app{"Vessaro matching server"};
    vessaro::AddServerOptions(app, options);
    CLI11_PARSE(app, argc, argv);

    vessaro::ServerConfig config;
    std::string error;
    if (!vessaro::MakeServerConfig(options, config, error))
        return Fail(error);

    BlockStopSignals(true);
    auto loop = vessaro::ServerLoop::Open(options.bind, options.port, error);
    if (!loop)
        return Fail("cannot open the matching port: " + error);
    std::unique_ptr<vessaro::SiteServer> site;
    if (options.httpPort != 0) {
        vessaro::SiteServerOptions web{options.bind, options.httpPort, options.siteDir, {}};
        site = vessaro::SiteServer::Start(web, error);
        if (!site)
            return Fail(error + " (--http-port 0 runs without web pages)");
    }
    g_loop = loop.get();
    InstallStopHandlers();
    BlockStopSignals(false);

    vessaro::OsRandom random;
    vessaro::MatchServer core(
        config,
        [&loop](const vessaro::Endpoint& to, std::span<const uint8_t> datagram) {
            loop->Send(to, datagram);
        },
        [&random] { return random.Next(); });

    std::string http = site ? "http " + std::to_string(site->port()) : "http off";
    Log("vessaro-server: ready on " + options.bind + ":" + std::to_string(loop->port()) + " (" +
        http + ")");
    loop->Run(core, int64_t(options.statsInterval * 1000.0), Log);
    if (site)
        site->Stop();
    Log("vessaro-server: stopped");
    return 0;
}
