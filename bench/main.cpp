// vessaro-bench: the load generator. Runs the scenarios against a vessaro-server it starts, with
// the baselines in the same run, and prints a table and one JSON line per figure.
#include "EnginePeer.h"
#include "Scenarios.h"
#include "UdpSocket.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {

using namespace vessaro::bench;

// Tiny sizes that only prove that every scenario still runs.
void MakeSmoke(BenchSettings& s) {
    s.pairs = 4;
    s.seconds = 0.3;
    s.poolSizes = {100, 1000};
    s.requests = 200;
    s.wirePairs = 20;
    s.prefill = {300};
    s.offerRequests = 20;
    s.sessions = 200;
    s.restSeconds = 0.5;
    s.roundTrips = 50;
    s.clusterPairs = 20;
}

int Report(const std::vector<Figure>& figures) {
    std::printf("%s", Table(figures).c_str());
    bool failed = false;
    for (const Figure& f : figures) {
        std::printf("%s\n", JsonLine(f).c_str());
        failed = failed || f.name.ends_with(".error");
    }
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    BenchSettings s;
    s.serverProgram = VESSARO_SERVER_PATH;
    s.selfProgram = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> scenarios{"all"};
    bool smoke = false;

    CLI::App app{"Vessaro load generator and benchmarks"};
    app.add_option("scenarios", scenarios, "relay, matching, sessions, rtt, cluster or all")
        ->check(CLI::IsMember({"relay", "matching", "sessions", "rtt", "cluster", "all"}));
    app.add_option("--server", s.serverProgram, "the vessaro-server program")
        ->capture_default_str();
    app.add_flag("--smoke", smoke, "tiny sizes: only check that every scenario runs");
    app.add_option("--pairs", s.pairs, "relay: pairs in conversation")->capture_default_str();
    app.add_option("--seconds", s.seconds, "relay: seconds of each measurement")
        ->capture_default_str();
    app.add_option("--generator-threads", s.generatorThreads,
                   "threads of each load generator process")
        ->capture_default_str();
    app.add_option("--window", s.window, "relay: texts each client keeps in flight")
        ->capture_default_str();
    app.add_option("--pool", s.poolSizes, "matching: users waiting, one run per size")
        ->capture_default_str();
    app.add_option("--requests", s.requests, "matching: new requests timed per pool")
        ->capture_default_str();
    app.add_option("--wire-pairs", s.wirePairs, "matching: pairs made over the wire")
        ->capture_default_str();
    app.add_option("--prefill", s.prefill,
                   "matching: users waiting over the wire before timed requests, one run per size")
        ->capture_default_str();
    app.add_option("--offer-requests", s.offerRequests,
                   "matching: requests timed from send to offer against each pre-filled pool")
        ->capture_default_str();
    app.add_option("--sessions", s.sessions, "sessions: idle sessions held")->capture_default_str();
    app.add_option("--rest", s.restSeconds, "sessions: seconds at rest measured")
        ->capture_default_str();
    app.add_option("--round-trips", s.roundTrips, "rtt and cluster: texts timed")
        ->capture_default_str();
    std::string serverOptions;
    app.add_option("--server-options", serverOptions,
                   "matching, sessions: more vessaro-server options, blank-separated, e.g. "
                   "\"--log-level debug --stats-interval 5\"");
    app.add_option("--cluster-pairs", s.clusterPairs,
                   "cluster: pairs asking, each user on another node than its partner")
        ->capture_default_str();
    app.add_option("--redis-server", s.redisProgram, "cluster: the redis-server program")
        ->capture_default_str();

    EnginePeerOptions peer;
    std::string role;
    CLI::App* peerCommand = app.add_subcommand("engine-peer", "one real engine (used by rtt)");
    peerCommand->group(""); // not for users
    peerCommand->add_option("--server-port", peer.serverPort)->required();
    peerCommand->add_option("--role", role)->required()->check(CLI::IsMember({"sender", "echo"}));
    peerCommand->add_option("--texts", peer.texts);
    peerCommand->add_option("--result-file", peer.resultFile);
    CLI11_PARSE(app, argc, argv);

    if (*peerCommand) {
        peer.sender = role == "sender";
        return RunEnginePeer(peer);
    }
    if (smoke)
        MakeSmoke(s);
    std::istringstream words(serverOptions);
    for (std::string word; words >> word;)
        s.serverOptions.push_back(word);
    RaiseOpenFileLimit();
    auto wants = [&](const std::string& name) {
        return std::find(scenarios.begin(), scenarios.end(), name) != scenarios.end() ||
               std::find(scenarios.begin(), scenarios.end(), "all") != scenarios.end();
    };
    std::vector<Figure> figures;
    auto add = [&](std::vector<Figure> more) {
        figures.insert(figures.end(), more.begin(), more.end());
    };
    if (wants("relay"))
        add(RunRelay(s));
    if (wants("rtt"))
        add(RunRoundTrip(s));
    if (wants("matching"))
        add(RunMatching(s));
    if (wants("sessions"))
        add(RunSessions(s));
    if (wants("cluster"))
        add(RunCluster(s));
    return Report(figures);
}
