// Relay: pairs of simulated clients in conversation, through the server and through the minimal
// forwarder, in the same run. The middle (server or forwarder) runs alone on its CPU; the load
// generator is a process of its own on the other CPUs, batched and multi-threaded, so that what is
// measured is the middle's CPU time per relayed datagram.
#include "ClientSwarm.h"
#include "LoadGenerator.h"
#include "MinimalForwarder.h"
#include "Placement.h"
#include "ProfileMaker.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"

#include <cstdio>

namespace vessaro::bench {
namespace {

// One stretch with a text at a time per client (its round trip timed), one with a window of texts
// in flight (the middle saturated).
struct RelayRun {
    LoadResult closed;
    LoadResult flat;
};

std::optional<RelayRun> DriveFromGenerator(ClientSwarm& swarm, int measuredPid,
                                           const BenchSettings& s, const Placement& placement) {
    ForkedWorker generator(placement.generator, [&](WorkerChannel& channel) {
        RelayRun run;
        run.closed = DriveRelayLoad(swarm, measuredPid, {s.generatorThreads, 1, s.seconds});
        run.flat = DriveRelayLoad(swarm, measuredPid, {s.generatorThreads, s.window, s.seconds});
        channel.Tell(run);
        return 0;
    });
    RelayRun run;
    const auto allowed = std::chrono::milliseconds(int(2000 * s.seconds) + 30000);
    if (!generator.started() || !generator.Hear(run, allowed))
        return std::nullopt;
    return run;
}

std::optional<RelayRun> ThroughForwarder(const BenchSettings& s, const Placement& placement) {
    MinimalForwarder forwarder;
    ClientSwarm swarm;
    if (!swarm.Open(2 * s.pairs, forwarder.address()))
        return std::nullopt;
    for (std::size_t p = 0; p < s.pairs; ++p) {
        forwarder.AddPair(swarm[2 * p].socket().local(), swarm[2 * p + 1].socket().local());
        swarm[2 * p].TalkWithoutSession();
        swarm[2 * p + 1].TalkWithoutSession();
    }
    if (!forwarder.Start(placement.measured))
        return std::nullopt;
    return DriveFromGenerator(swarm, forwarder.pid(), s, placement);
}

std::optional<RelayRun> ThroughServer(const BenchSettings& s, const Placement& placement,
                                      std::string& error) {
    std::optional<ScopedPin> pin(placement.measured);
    ServerUnderTest server(s.serverProgram);
    pin.reset();
    if (!server.ready()) {
        error = server.error();
        return std::nullopt;
    }
    ClientSwarm swarm;
    if (!swarm.Open(2 * s.pairs, {LoopbackAddress(), server.port()})) {
        error = "cannot open the client sockets";
        return std::nullopt;
    }
    if (swarm.ConnectAll(256, std::chrono::seconds(20)) != swarm.size()) {
        error = "not every client got a session";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < swarm.size(); ++i) {
        MatchRecords r = ProfileMaker::Pairable(int(i / 2), int(i % 2));
        swarm[i].RequestMatch(r.profile, r.requirement);
    }
    auto allTalking = [&] {
        for (std::size_t i = 0; i < swarm.size(); ++i)
            if (swarm[i].phase() != SimClient::Phase::Talking)
                return false;
        return true;
    };
    if (!swarm.PumpUntil(allTalking, std::chrono::seconds(20))) {
        error = "the pairs did not all start talking";
        return std::nullopt;
    }
    std::optional<RelayRun> run = DriveFromGenerator(swarm, server.pid(), s, placement);
    if (!run)
        error = "the load generator gave no result";
    return run;
}

Figure Plain(std::string name, double value, std::string unit) {
    return {std::move(name), value, std::move(unit), "", {}, {}};
}

Figure Against(Figure f, double baseline) {
    f.ratio = baseline > 0 ? f.value / baseline : 0;
    return f;
}

// The figures of one stretch: rates, CPU per datagram of the server, of the forwarder and of the
// generator, the server's share of its CPU, and the round trips when they were timed.
void AddStretch(std::vector<Figure>& out, const std::string& mode, const LoadResult& base,
                const LoadResult& ours, bool held) {
    const std::string at = "relay." + mode;
    out.push_back(Plain(at + ".baseline.rate", base.rate(), "msg/s"));
    out.push_back(Against(Plain(at + ".rate", ours.rate(), "msg/s"), base.rate()));
    out.push_back(Plain(at + ".baseline.cpu_per_datagram", base.measuredMicrosPerDatagram(), "us"));
    Figure cpu =
        held ? AtMost(at + ".server.cpu_per_datagram", ours.measuredMicrosPerDatagram(), "us",
                      base.measuredMicrosPerDatagram(), "1.0 x forwarder")
             : Plain(at + ".server.cpu_per_datagram", ours.measuredMicrosPerDatagram(), "us");
    out.push_back(Against(cpu, base.measuredMicrosPerDatagram()));
    out.push_back(
        Plain(at + ".baseline.cpu_share", 100 * base.measuredCpuSeconds / base.seconds, "%cpu"));
    out.push_back(
        Plain(at + ".server.cpu_share", 100 * ours.measuredCpuSeconds / ours.seconds, "%cpu"));
    out.push_back(
        Plain(at + ".generator.cpu_per_datagram", ours.generatorMicrosPerDatagram(), "us"));
    if (ours.rttCount > 0) {
        out.push_back(Plain(at + ".baseline.rtt.median", base.rttMedian, "us"));
        out.push_back(Against(Plain(at + ".rtt.median", ours.rttMedian, "us"), base.rttMedian));
        out.push_back(Plain(at + ".baseline.rtt.p99", base.rttP99, "us"));
        out.push_back(Against(Plain(at + ".rtt.p99", ours.rttP99, "us"), base.rttP99));
    }
}

} // namespace

std::vector<Figure> RunRelay(const BenchSettings& s) {
    const Placement placement = Placement::Choose();
    ScopedPin self(placement.generator);
    std::printf("relay placement: %s; generator %d threads, window %d texts per client\n",
                placement.Describe().c_str(), s.generatorThreads, s.window);
    std::optional<RelayRun> base = ThroughForwarder(s, placement);
    std::string error;
    std::optional<RelayRun> ours = base ? ThroughServer(s, placement, error) : std::nullopt;
    if (!base || !ours)
        return {ErrorFigure("relay", base ? error : "the baseline forwarder gave no result")};
    std::vector<Figure> figures;
    AddStretch(figures, "closed", base->closed, ours->closed, false);
    // The held figure: the server saturated, against the forwarder saturated the same way.
    AddStretch(figures, "flat", base->flat, ours->flat, true);
    return figures;
}

Figure ErrorFigure(const std::string& scenario, const std::string& why) {
    std::fprintf(stderr, "vessaro-bench: %s: %s\n", scenario.c_str(), why.c_str());
    Figure f{scenario + ".error", 1, "", "= 0", false, {}};
    return f;
}

} // namespace vessaro::bench
