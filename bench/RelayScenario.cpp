// Relay: pairs of simulated clients in conversation, through the server and through the minimal
// forwarder, in the same run.
#include "ClientSwarm.h"
#include "MinimalForwarder.h"
#include "ProfileMaker.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"

#include <cstdio>

namespace vessaro::bench {
namespace {

struct Traffic {
    double rate = 0; // texts and acknowledgements delivered per second
    Spread rtt;      // microseconds from text to acknowledgement
};

uint64_t Delivered(ClientSwarm& swarm) {
    uint64_t total = 0;
    for (std::size_t i = 0; i < swarm.size(); ++i)
        total += swarm[i].textsReceived + swarm[i].acksReceived;
    return total;
}

// Every client sends its next text as soon as the last one is acknowledged; a text lost on the way
// is given up after 200 ms and replaced by the next.
Traffic ClosedLoop(ClientSwarm& swarm, double seconds) {
    auto next = [](SimClient& c) {
        if (!c.awaitingAck())
            c.SendText();
    };
    for (std::size_t i = 0; i < swarm.size(); ++i)
        swarm[i].SendText();
    auto run = [&](double span) {
        const auto end = BenchClock::now() + std::chrono::duration<double>(span);
        auto lastCheck = BenchClock::now();
        while (BenchClock::now() < end) {
            swarm.Pump(5, next);
            if (BenchClock::now() - lastCheck < std::chrono::milliseconds(50))
                continue;
            lastCheck = BenchClock::now();
            for (std::size_t i = 0; i < swarm.size(); ++i)
                if (swarm[i].awaitingAck() && swarm[i].waited() > std::chrono::milliseconds(200))
                    swarm[i].SendText();
        }
    };
    run(std::min(0.3, seconds / 4)); // warm-up
    std::vector<double> rtt;
    for (std::size_t i = 0; i < swarm.size(); ++i) {
        swarm[i].ResetCounters();
        swarm[i].keepRtt = true;
    }
    const auto start = BenchClock::now();
    run(seconds);
    const double elapsed = std::chrono::duration<double>(BenchClock::now() - start).count();
    Traffic t;
    t.rate = double(Delivered(swarm)) / elapsed;
    for (std::size_t i = 0; i < swarm.size(); ++i) {
        rtt.insert(rtt.end(), swarm[i].rttMicros.begin(), swarm[i].rttMicros.end());
        swarm[i].keepRtt = false;
    }
    t.rtt = Summarise(std::move(rtt));
    swarm.Pump(100);
    return t;
}

// Every client sends a text in each round without waiting for anything; between rounds whatever
// has arrived is read and answered. What the middle cannot carry is lost and not counted.
Traffic FlatOut(ClientSwarm& swarm, double seconds) {
    for (std::size_t i = 0; i < swarm.size(); ++i)
        swarm[i].ResetCounters();
    const auto start = BenchClock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (BenchClock::now() < end) {
        for (std::size_t i = 0; i < swarm.size(); ++i)
            swarm[i].SendText();
        while (swarm.Pump(0) > 0) {
        }
    }
    const double elapsed = std::chrono::duration<double>(BenchClock::now() - start).count();
    Traffic t;
    t.rate = double(Delivered(swarm)) / elapsed;
    swarm.Pump(200);
    return t;
}

struct RelayRun {
    Traffic closed;
    Traffic flat;
};

std::optional<RelayRun> ThroughForwarder(const BenchSettings& s) {
    MinimalForwarder forwarder;
    ClientSwarm swarm;
    if (!swarm.Open(2 * s.pairs, forwarder.address()))
        return std::nullopt;
    for (std::size_t p = 0; p < s.pairs; ++p) {
        forwarder.AddPair(swarm[2 * p].socket().local(), swarm[2 * p + 1].socket().local());
        swarm[2 * p].TalkWithoutSession();
        swarm[2 * p + 1].TalkWithoutSession();
    }
    return RelayRun{ClosedLoop(swarm, s.seconds), FlatOut(swarm, s.seconds)};
}

std::optional<RelayRun> ThroughServer(const BenchSettings& s, std::string& error) {
    ServerUnderTest server(s.serverProgram);
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
    return RelayRun{ClosedLoop(swarm, s.seconds), FlatOut(swarm, s.seconds)};
}

Figure Ratio(Figure f, double baseline) {
    f.ratio = baseline > 0 ? f.value / baseline : 0;
    return f;
}

} // namespace

std::vector<Figure> RunRelay(const BenchSettings& s) {
    std::optional<RelayRun> base = ThroughForwarder(s);
    std::string error;
    std::optional<RelayRun> ours = base ? ThroughServer(s, error) : std::nullopt;
    if (!base || !ours)
        return {ErrorFigure("relay", base ? error : "cannot open the baseline's sockets")};
    const double need = 0.8;
    auto rateFigure = [&](const std::string& name, double value, double baseline) {
        Figure f = AtLeast(name, value, "msg/s", need * baseline, "0.8 x baseline");
        return Ratio(f, baseline);
    };
    return {
        {"relay.baseline.closed.rate", base->closed.rate, "msg/s", "", {}, {}},
        rateFigure("relay.closed.rate", ours->closed.rate, base->closed.rate),
        {"relay.baseline.flat.rate", base->flat.rate, "msg/s", "", {}, {}},
        rateFigure("relay.flat.rate", ours->flat.rate, base->flat.rate),
        {"relay.baseline.rtt.median", base->closed.rtt.median, "us", "", {}, {}},
        Ratio({"relay.rtt.median", ours->closed.rtt.median, "us", "", {}, {}},
              base->closed.rtt.median),
        {"relay.baseline.rtt.p99", base->closed.rtt.p99, "us", "", {}, {}},
        Ratio({"relay.rtt.p99", ours->closed.rtt.p99, "us", "", {}, {}}, base->closed.rtt.p99),
    };
}

Figure ErrorFigure(const std::string& scenario, const std::string& why) {
    std::fprintf(stderr, "vessaro-bench: %s: %s\n", scenario.c_str(), why.c_str());
    Figure f{scenario + ".error", 1, "", "= 0", false, {}};
    return f;
}

} // namespace vessaro::bench
