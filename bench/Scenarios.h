#pragma once

#include "Figures.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vessaro::bench {

// Where the programs are and how big and long each scenario runs.
struct BenchSettings {
    std::string serverProgram; // vessaro-server
    std::string selfProgram;   // this program, started again as an engine peer
    std::size_t pairs = 64;
    double seconds = 3.0;
    int generatorThreads = 2; // of each load generator process
    int window = 16;          // relay: texts each client keeps in flight when saturating
    std::vector<std::size_t> poolSizes{1000, 10000, 100000, 1000000};
    std::size_t requests = 5000;
    std::size_t wirePairs = 2000;
    std::vector<std::size_t> prefill{100000}; // matching: users waiting before timed requests
    std::size_t offerRequests = 500;          // matching: requests timed to their offer
    std::size_t sessions = 300000;
    double restSeconds = 10.0;
    std::size_t roundTrips = 2000;
    // More vessaro-server options for the servers that hold the swarms (matching, sessions), after
    // the benchmark's own: to try a setting, or to have the server print its statistics.
    std::vector<std::string> serverOptions;
    std::size_t clusterPairs = 5000;           // cluster: pairs asking, across the nodes
    std::string redisProgram = "redis-server"; // cluster: the shared Redis (a path, or in PATH)
};

// Each scenario returns its figures; a scenario that cannot run returns a figure named
// "<scenario>.error" with value 1 and says why on standard error.
std::vector<Figure> RunRelay(const BenchSettings& settings);
std::vector<Figure> RunMatching(const BenchSettings& settings);
std::vector<Figure> RunSessions(const BenchSettings& settings);
std::vector<Figure> RunRoundTrip(const BenchSettings& settings);
std::vector<Figure> RunCluster(const BenchSettings& settings);

// The server arguments that let it hold this many sessions from an EndpointSwarm's addresses,
// followed by the extra ones.
std::vector<std::string> SwarmServerArguments(std::size_t sessions,
                                              const std::vector<std::string>& extra = {});

Figure ErrorFigure(const std::string& scenario, const std::string& why);

} // namespace vessaro::bench
