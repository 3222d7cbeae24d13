// Matching: the server core alone, with W users waiting, timed per new request; then pairs made
// per second over the wire.
#include "ClientSwarm.h"
#include "MatchServer.h"
#include "ProfileMaker.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"

#include <random>

namespace vessaro::bench {
namespace {

// The core on a fixed clock (no timer ever runs), with every limit out of the way, and the
// sessions it granted.
class CoreUnderTest {
public:
    CoreUnderTest()
        : core_(
              Config(), [this](const Endpoint&, std::span<const uint8_t> d) { OnSent(d); },
              [this] { return uint32_t(random_()); }) {}

    MatchServer& core() { return core_; }
    uint64_t offers() const { return offers_; }

    // A new session from its own address; its id.
    int32_t Connect() {
        const Endpoint from{0x0A000000u + uint32_t(nextClient_++), 4000};
        core_.OnDatagram(from, BuildControl(MSG_CONNECT), kNow);
        endpoints_[lastGranted_] = from;
        return lastGranted_;
    }
    void Request(int32_t session, const MatchRecords& r) {
        core_.OnDatagram(endpoints_[session], BuildMatchRequest(session, r.profile, r.requirement),
                         kNow);
    }

    static constexpr int64_t kNow = 1000;

private:
    static ServerConfig Config() {
        ServerConfig c;
        c.maxSessions = 10000000;
        c.maxSessionsPerAddress = 10000000;
        c.datagramsPerSecondPerAddress = 1e12;
        c.maxTrackedAddresses = 10000000;
        // Every user comes from one of a few networks: their grants must not wait for budget.
        c.unprovenBytesPerSecondPerNetwork = 1e15;
        return c;
    }
    void OnSent(std::span<const uint8_t> d) {
        DatagramView m(d);
        if (m.type() == MSG_CONNECT_ACK)
            lastGranted_ = m.sessionId();
        else if (m.type() == MSG_PARTNER_FOUND)
            ++offers_;
    }

    std::mt19937 random_{7};
    MatchServer core_;
    std::unordered_map<int32_t, Endpoint> endpoints_;
    int32_t lastGranted_ = 0;
    uint64_t offers_ = 0;
    std::size_t nextClient_ = 1;
};

struct CoreRun {
    std::size_t waiting = 0;
    Spread perRequestMicros;
    Spread pairedMicros;  // requests that found a partner at once
    Spread waitingMicros; // requests that joined the pool
    double pairsPerSecond = 0;
};

// Fills the pool with W users who cannot be paired with each other, then times a stream of new
// requests of every kind against it: some are paired, the others join the pool.
CoreRun TimeRequests(std::size_t poolSize, std::size_t requests) {
    CoreUnderTest t;
    ProfileMaker users(11);
    for (std::size_t i = 0; i < poolSize; ++i)
        t.Request(t.Connect(), users.NextWaiting());
    CoreRun run;
    run.waiting = t.core().Stats().waiting;
    std::vector<int32_t> seekers(requests);
    for (int32_t& s : seekers)
        s = t.Connect();
    std::vector<double> micros;
    micros.reserve(requests);
    const uint64_t offersBefore = t.offers();
    double total = 0;
    std::vector<double> pairedMicros, waitingMicros;
    for (int32_t s : seekers) {
        MatchRecords r = users.Next();
        const uint64_t offers = t.offers();
        const auto start = BenchClock::now();
        t.Request(s, r);
        const double us =
            std::chrono::duration<double, std::micro>(BenchClock::now() - start).count();
        micros.push_back(us);
        (t.offers() != offers ? pairedMicros : waitingMicros).push_back(us);
        total += us;
    }
    run.perRequestMicros = Summarise(std::move(micros));
    run.pairedMicros = Summarise(std::move(pairedMicros));
    run.waitingMicros = Summarise(std::move(waitingMicros));
    run.pairsPerSecond = total > 0 ? double(t.offers() - offersBefore) / 2 / (total / 1e6) : 0;
    return run;
}

// Pairs made per second over the wire: every pair asks at once, and the time runs until every
// client has its partner.
std::optional<double> WirePairsPerSecond(const BenchSettings& s, std::string& error) {
    ServerUnderTest server(s.serverProgram);
    ClientSwarm swarm;
    if (!server.ready() || !swarm.Open(2 * s.wirePairs, {LoopbackAddress(), server.port()})) {
        error = server.ready() ? "cannot open the client sockets" : server.error();
        return std::nullopt;
    }
    if (swarm.ConnectAll(512, std::chrono::seconds(30)) != swarm.size()) {
        error = "not every client got a session";
        return std::nullopt;
    }
    const auto start = BenchClock::now();
    std::size_t found = 0;
    for (std::size_t i = 0; i < swarm.size(); ++i) {
        MatchRecords r = ProfileMaker::Pairable(int(i / 2), int(i % 2));
        swarm[i].RequestMatch(r.profile, r.requirement);
        if (i % 256 == 255)
            swarm.Pump(0);
    }
    auto done = [&] {
        found = 0;
        for (std::size_t i = 0; i < swarm.size(); ++i)
            found += swarm[i].partnersFound;
        return found == swarm.size();
    };
    if (!swarm.PumpUntil(done, std::chrono::seconds(30))) {
        error = "only " + std::to_string(found) + " of " + std::to_string(swarm.size()) +
                " clients were offered a partner";
        return std::nullopt;
    }
    const double elapsed = std::chrono::duration<double>(BenchClock::now() - start).count();
    return double(s.wirePairs) / elapsed;
}

} // namespace

std::vector<Figure> RunMatching(const BenchSettings& s) {
    std::vector<Figure> figures;
    std::optional<CoreRun> smallest;
    for (std::size_t w : s.poolSizes) {
        CoreRun run = TimeRequests(w, s.requests);
        const std::string at = "matching.core.w" + std::to_string(w);
        figures.push_back({at + ".waiting", double(run.waiting), "users", "", {}, {}});
        Figure median =
            AtMost(at + ".request.median", run.perRequestMicros.median, "us", 20.0, "20 us");
        if (w < 100000)
            median.met.reset(); // the target is for 100,000 waiting
        if (smallest)
            median.ratio = run.perRequestMicros.median / smallest->perRequestMicros.median;
        figures.push_back(median);
        figures.push_back({at + ".request.p99", run.perRequestMicros.p99, "us", "", {}, {}});
        figures.push_back({at + ".paired.median", run.pairedMicros.median, "us", "", {}, {}});
        figures.push_back({at + ".joined.median", run.waitingMicros.median, "us", "", {}, {}});
        figures.push_back({at + ".pairs", run.pairsPerSecond, "pairs/s", "", {}, {}});
        if (!smallest) {
            smallest = run;
        } else if (&w == &s.poolSizes.back()) {
            // The pool grew by a factor; the cost per request must grow by far less: at most a
            // tenth of that factor.
            const double poolGrowth =
                double(run.waiting) / double(std::max<std::size_t>(1, smallest->waiting));
            const double costGrowth =
                run.perRequestMicros.median / std::max(1e-9, smallest->perRequestMicros.median);
            figures.push_back(
                AtMost("matching.core.growth", costGrowth, "x", std::max(1.0, poolGrowth / 10),
                       "pool growth / 10 (" + std::to_string(int(poolGrowth)) + "x pool)"));
        }
    }
    std::string error;
    if (std::optional<double> rate = WirePairsPerSecond(s, error))
        figures.push_back({"matching.wire.pairs", *rate, "pairs/s", "", {}, {}});
    else
        figures.push_back(ErrorFigure("matching.wire", error));
    return figures;
}

} // namespace vessaro::bench
