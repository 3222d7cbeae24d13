// Cluster: two vessaro-server nodes that share one pool through a private Redis, beside one node
// alone in the same run, under the same load: the text->ack round trip between two users (on
// different nodes, or both on the one node), then pairs made per second with the users split over
// the nodes so that every pair crosses them, with the CPU time of the nodes and of Redis per match
// request and per datagram the clients received. The serving side (the nodes and Redis) runs on
// the measured CPU; the simulated clients run in this process on the generator's CPUs.
#include "ClientSwarm.h"
#include "EnginePeer.h"
#include "Placement.h"
#include "PrivateRedis.h"
#include "ProfileMaker.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace vessaro::bench {
namespace {

// Topics of pairs that are not part of the matching stretch, far from its pair numbers.
constexpr int kProbePair = 1 << 24;
constexpr int kRoundTripPair = kProbePair + 1;
constexpr std::size_t kWarmUpTexts = 50;
constexpr auto kAckLimit = std::chrono::seconds(2);
constexpr std::size_t kSecretBytes = 32;

// CPU time a process has used so far, all its live threads, from the scheduler's own nanosecond
// count (clock ticks are far too coarse for a stretch of a few hundred milliseconds).
double ProcessCpuNanos(int pid) {
    namespace fs = std::filesystem;
    double total = 0;
    std::error_code error;
    for (const auto& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        double runNanos = 0;
        if (std::ifstream(task.path() / "schedstat") >> runNanos)
            total += runNanos;
    }
    return total;
}

// The cluster's shared secret: random bytes in a file only its owner may read, removed with the
// object.
class SecretFile {
public:
    SecretFile() {
        char name[] = "/tmp/vessaro-bench-secret-XXXXXX";
        const int fd = mkstemp(name); // mode 0600
        if (fd < 0)
            return;
        std::array<uint8_t, kSecretBytes> secret;
        std::random_device random;
        for (uint8_t& b : secret)
            b = uint8_t(random());
        const bool written = write(fd, secret.data(), secret.size()) == ssize_t(secret.size());
        close(fd);
        path_ = name;
        if (!written)
            Remove();
    }
    ~SecretFile() { Remove(); }
    SecretFile(const SecretFile&) = delete;
    SecretFile& operator=(const SecretFile&) = delete;

    const std::string& path() const { return path_; }

private:
    void Remove() {
        if (!path_.empty())
            unlink(path_.c_str());
        path_.clear();
    }
    std::string path_;
};

// The serving side of one half of the run: the nodes, and the Redis they share when there are
// several.
struct Service {
    std::unique_ptr<PrivateRedis> redis;
    std::vector<std::unique_ptr<ServerUnderTest>> nodes;

    struct Usage {
        double nodesNanos = 0;
        double redisNanos = 0;
    };
    Usage Used() const {
        Usage u;
        for (const auto& node : nodes)
            u.nodesNanos += ProcessCpuNanos(node->pid());
        if (redis)
            u.redisNanos = ProcessCpuNanos(redis->pid());
        return u;
    }
    UdpAddress first() const { return {LoopbackAddress(), nodes.front()->port()}; }
    UdpAddress last() const { return {LoopbackAddress(), nodes.back()->port()}; }
};

std::optional<Service> StartSingle(const BenchSettings& s, std::string& error) {
    Service service;
    service.nodes.push_back(std::make_unique<ServerUnderTest>(s.serverProgram));
    if (!service.nodes.back()->ready()) {
        error = service.nodes.back()->error();
        return std::nullopt;
    }
    return service;
}

std::optional<Service> StartCluster(const BenchSettings& s, const SecretFile& secret,
                                    std::string& error) {
    Service service{std::make_unique<PrivateRedis>(PrivateRedisOptions{s.redisProgram, {}, {}}),
                    {}};
    if (!service.redis->ready()) {
        error = service.redis->error();
        return std::nullopt;
    }
    if (secret.path().empty()) {
        error = "cannot write the cluster's secret to a temporary file";
        return std::nullopt;
    }
    for (int n = 0; n < 2; ++n) {
        const std::vector<std::string> cluster{"--cluster",
                                               service.redis->url(),
                                               "--cluster-secret-file",
                                               secret.path(),
                                               "--node-address",
                                               "127.0.0.1:" +
                                                   std::to_string(FreeLoopbackPort(PortKind::Udp))};
        service.nodes.push_back(std::make_unique<ServerUnderTest>(s.serverProgram, cluster));
        if (!service.nodes.back()->ready()) {
            error = "cluster node " + std::to_string(n + 1) + ": " + service.nodes.back()->error() +
                    " (with --cluster " + service.redis->url() + ")";
            return std::nullopt;
        }
    }
    return service;
}

// Pumps the swarm until done() or the time-out; adds the datagrams the clients read to *read.
bool PumpCounting(ClientSwarm& swarm, const std::function<bool()>& done,
                  std::chrono::milliseconds timeout, uint64_t* read = nullptr) {
    const auto deadline = BenchClock::now() + timeout;
    while (!done()) {
        if (BenchClock::now() >= deadline)
            return false;
        const int n = swarm.Pump(10);
        if (read)
            *read += uint64_t(n);
    }
    return true;
}

// Two clients, the first on the service's first node and the second on its last, paired with
// each other and talking. False when they do not get that far within the time-out.
bool PairAcross(const Service& service, ClientSwarm& swarm, int pair, std::string& error) {
    if (!swarm.Open(1, service.first()) || !swarm.Open(1, service.last())) {
        error = "cannot open the client sockets";
        return false;
    }
    if (swarm.ConnectAll(2, std::chrono::seconds(10)) != 2) {
        error = "the two clients did not get sessions";
        return false;
    }
    for (int side = 0; side < 2; ++side) {
        const MatchRecords r = ProfileMaker::Pairable(pair, side);
        swarm[side].RequestMatch(r.profile, r.requirement);
    }
    auto talking = [&] {
        return swarm[0].phase() == SimClient::Phase::Talking &&
               swarm[1].phase() == SimClient::Phase::Talking;
    };
    if (!PumpCounting(swarm, talking, std::chrono::seconds(15))) {
        error = "two users on " +
                std::string(service.nodes.size() > 1 ? "different nodes" : "the node") +
                " were not paired and talking within 15 s";
        return false;
    }
    return true;
}

struct RoundTrips {
    Spread micros;
    std::size_t unanswered = 0;
    double nodesCpuMicros = 0; // per round trip
    double redisCpuMicros = 0;
};

// One text at a time from the first client to the second, each timed from its send to its
// acknowledgement.
std::optional<RoundTrips> TimeRoundTrips(const Service& service, std::size_t texts,
                                         std::string& error) {
    ClientSwarm swarm;
    if (!PairAcross(service, swarm, kRoundTripPair, error))
        return std::nullopt;
    SimClient& sender = swarm[0];
    RoundTrips run;
    auto sendOne = [&] {
        sender.SendText();
        return PumpCounting(
            swarm, [&] { return !sender.awaitingAck(); }, kAckLimit);
    };
    for (std::size_t i = 0; i < kWarmUpTexts; ++i)
        sendOne();
    sender.ResetCounters();
    sender.keepRtt = true;
    const Service::Usage before = service.Used();
    for (std::size_t i = 0; i < texts; ++i)
        run.unanswered += !sendOne();
    const Service::Usage after = service.Used();
    if (sender.rttMicros.empty()) {
        error = "no text was acknowledged";
        return std::nullopt;
    }
    const double n = double(texts);
    run.micros = Summarise(sender.rttMicros);
    run.nodesCpuMicros = (after.nodesNanos - before.nodesNanos) / 1e3 / n;
    run.redisCpuMicros = (after.redisNanos - before.redisNanos) / 1e3 / n;
    return run;
}

struct MatchingRun {
    double pairsPerSecond = 0;
    uint64_t datagrams = 0;  // that the clients received during the stretch
    uint64_t repeats = 0;    // requests sent again because neither they nor the offer arrived
    uint64_t reconnects = 0; // sessions the nodes closed, after which their clients came back
    double nodesCpuMicrosPerRequest = 0;
    double redisCpuMicrosPerRequest = 0;
    double nodesCpuMicrosPerDatagram = 0;
    // Shares of one CPU over the stretch: which side limited the rate.
    double nodesBusy = 0;
    double clientsBusy = 0;
    std::size_t unpaired = 0; // clients never offered their partner
    std::string left;         // which pairs those were, and in what state
};

// Which pairs were left without an offer, and in what state each user is: what to look at when
// a pairing was lost.
std::string Unoffered(ClientSwarm& swarm, std::size_t pairs) {
    static const char* const kPhases[] = {"start",   "connecting", "idle",  "asking",
                                          "offered", "talking",    "closed"};
    std::string text = "left:";
    int listed = 0;
    for (std::size_t p = 0; p < pairs && listed < 5; ++p) {
        SimClient& a = swarm[p];
        SimClient& b = swarm[p + pairs];
        if (a.partnersFound && b.partnersFound)
            continue;
        ++listed;
        text += " pair " + std::to_string(p) + " (" + kPhases[int(a.phase())] +
                " on the first node, " + kPhases[int(b.phase())] + " on the last)";
    }
    return text;
}

// Pairs ask in order, the pair's first user on the first node and its second on the last node, at
// most kWindow requests awaiting their offers at once (a burst of thousands would only overflow
// the sockets' buffers); a request that has had no offer for kRepeat is sent again, as a client
// does; a client whose session a node closes connects again and asks again, as a client does. The
// stretch runs until every client has been offered its partner, or no offer has come for
// kStall: pairs left then are counted, not waited for. The rate counts the pairs made up to the
// last offer.
std::optional<MatchingRun> MatchPairs(const Service& service, std::size_t pairs,
                                      std::string& error) {
    constexpr std::size_t kWindow = 512;
    constexpr auto kRepeat = std::chrono::milliseconds(500);
    constexpr auto kStall = std::chrono::seconds(6); // longer than a node waits for a claim
    ClientSwarm swarm;
    if (!swarm.Open(pairs, service.first()) || !swarm.Open(pairs, service.last())) {
        error = "cannot open the client sockets";
        return std::nullopt;
    }
    if (swarm.ConnectAll(512, std::chrono::seconds(30)) != swarm.size()) {
        error = "not every client got a session";
        return std::nullopt;
    }
    auto user = [&](std::size_t pair, int side) -> SimClient& {
        return swarm[pair + std::size_t(side) * pairs];
    };
    auto ask = [&](std::size_t pair, int side) {
        const MatchRecords r = ProfileMaker::Pairable(int(pair), side);
        user(pair, side).RequestMatch(r.profile, r.requirement);
    };
    MatchingRun run;
    std::vector<BenchClock::time_point> askedAt(pairs);
    std::unordered_set<const SimClient*> offered;
    auto lastOffer = BenchClock::now();
    auto count = [&](SimClient& c) {
        if (c.partnersFound > 0 && offered.insert(&c).second)
            lastOffer = BenchClock::now();
    };
    const Service::Usage before = service.Used();
    const double clientsBefore = OwnUsage().cpuNanos;
    const auto start = BenchClock::now();
    const auto deadline = start + std::chrono::seconds(30);
    std::size_t next = 0;   // the next pair to ask
    std::size_t oldest = 0; // pairs before it have both been offered
    for (auto now = start; offered.size() < swarm.size() && now < deadline &&
                           (next < pairs || now - lastOffer < kStall);
         now = BenchClock::now()) {
        for (; next < pairs && 2 * next - offered.size() < kWindow; ++next) {
            askedAt[next] = now;
            ask(next, 0);
            ask(next, 1);
        }
        run.datagrams += uint64_t(swarm.Pump(1, count));
        while (oldest < next && user(oldest, 0).partnersFound && user(oldest, 1).partnersFound)
            ++oldest;
        for (std::size_t p = oldest; p < next && now - askedAt[p] >= kRepeat; ++p) {
            // Asked in order: the later pairs are younger still.
            askedAt[p] = now;
            for (int side = 0; side < 2; ++side) {
                const SimClient::Phase phase = user(p, side).phase();
                if (phase == SimClient::Phase::Matching || phase == SimClient::Phase::Connecting) {
                    user(p, side).Repeat();
                    ++run.repeats;
                }
            }
        }
    }
    const double seconds = std::chrono::duration<double>(BenchClock::now() - start).count();
    const Service::Usage after = service.Used();
    const double clientsNanos = OwnUsage().cpuNanos - clientsBefore;
    std::size_t made = 0;
    for (std::size_t p = 0; p < pairs; ++p)
        made += user(p, 0).partnersFound && user(p, 1).partnersFound;
    if (made == 0) {
        error = "no pair was made within " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(BenchClock::now() - start)
                        .count()) +
                " s; " + Unoffered(swarm, pairs);
        return std::nullopt;
    }
    const double requests = 2.0 * double(pairs);
    const double nodesNanos = after.nodesNanos - before.nodesNanos;
    run.pairsPerSecond = double(made) / std::chrono::duration<double>(lastOffer - start).count();
    run.nodesCpuMicrosPerRequest = nodesNanos / 1e3 / requests;
    run.redisCpuMicrosPerRequest = (after.redisNanos - before.redisNanos) / 1e3 / requests;
    run.nodesCpuMicrosPerDatagram = run.datagrams ? nodesNanos / 1e3 / double(run.datagrams) : 0;
    run.nodesBusy = nodesNanos / 1e9 / seconds * 100;
    run.clientsBusy = clientsNanos / 1e9 / seconds * 100;
    run.unpaired = swarm.size() - offered.size();
    run.reconnects = swarm.reconnects();
    if (run.unpaired)
        run.left = std::to_string(run.unpaired) + " of " + std::to_string(swarm.size()) +
                   " clients were never offered their partner (" + std::to_string(run.repeats) +
                   " requests sent again, " + std::to_string(run.reconnects) +
                   " sessions closed and connected again); " + Unoffered(swarm, pairs);
    return run;
}

struct HalfRun {
    RoundTrips roundTrips;
    MatchingRun matching;
};

// One figure of each half: its name after "cluster.<half>.", its unit, where it comes from, and
// whether it is Redis's (only the cluster has one) or compared with the single node's.
struct Column {
    const char* name;
    const char* unit;
    double (*value)(const HalfRun&);
    enum { Compared, Plain, Redis } kind;
};
const Column kColumns[] = {
    {"pairs", "pairs/s", [](const HalfRun& h) { return h.matching.pairsPerSecond; },
     Column::Compared},
    {"cpu_per_request", "us", [](const HalfRun& h) { return h.matching.nodesCpuMicrosPerRequest; },
     Column::Compared},
    {"cpu_per_datagram", "us",
     [](const HalfRun& h) { return h.matching.nodesCpuMicrosPerDatagram; }, Column::Compared},
    {"redis_cpu_per_request", "us",
     [](const HalfRun& h) { return h.matching.redisCpuMicrosPerRequest; }, Column::Redis},
    {"nodes_busy", "%", [](const HalfRun& h) { return h.matching.nodesBusy; }, Column::Plain},
    {"clients_busy", "%", [](const HalfRun& h) { return h.matching.clientsBusy; }, Column::Plain},
    {"unpaired", "clients", [](const HalfRun& h) { return double(h.matching.unpaired); },
     Column::Plain},
    {"repeats", "requests", [](const HalfRun& h) { return double(h.matching.repeats); },
     Column::Plain},
    {"reconnects", "sessions", [](const HalfRun& h) { return double(h.matching.reconnects); },
     Column::Plain},
    {"rtt.median", "us", [](const HalfRun& h) { return h.roundTrips.micros.median; },
     Column::Compared},
    {"rtt.p99", "us", [](const HalfRun& h) { return h.roundTrips.micros.p99; }, Column::Compared},
    {"rtt.cpu", "us/rtt", [](const HalfRun& h) { return h.roundTrips.nodesCpuMicros; },
     Column::Compared},
    {"rtt.redis_cpu", "us/rtt", [](const HalfRun& h) { return h.roundTrips.redisCpuMicros; },
     Column::Redis},
    {"rtt.unanswered", "texts", [](const HalfRun& h) { return double(h.roundTrips.unanswered); },
     Column::Plain},
};

// The figures of one half; the cluster's carry their ratio to the single node's.
void AddFigures(std::vector<Figure>& figures, const std::string& half, const HalfRun& run,
                const HalfRun* single) {
    for (const Column& c : kColumns) {
        if (c.kind == Column::Redis && !single)
            continue;
        Figure f{"cluster." + half + "." + c.name, c.value(run), c.unit, "", {}, {}};
        if (single && c.kind == Column::Compared && c.value(*single) > 0)
            f.ratio = f.value / c.value(*single);
        figures.push_back(f);
    }
}

} // namespace

// Both halves run side by side and are measured in turns, so that a change in the machine's other
// load falls on both: the round trips first (the pairs of a matching stretch stay in conversation
// afterwards, and their probes would be counted against the texts), then the matching stretches,
// the one node stopped before the cluster's. The round trips run with the clients on the serving
// side's CPU, as the rtt scenario does: on a machine shared with other work a wake-up across CPUs
// costs more than the whole path and varies with what else runs, so the figures compare work, not
// where the scheduler put the threads.
std::vector<Figure> RunCluster(const BenchSettings& s) {
    const Placement placement = Placement::Choose();
    ScopedPin self(placement.generator);
    const std::string serving = CpuList(placement.measured);
    std::printf("cluster placement: nodes and Redis on CPU %s; matching: clients (this process) on "
                "CPU %s%s, %zu pairs; round trip: clients on CPU %s too, %zu texts one at a time\n",
                serving.c_str(), CpuList(placement.generator).c_str(),
                placement.measured == placement.generator ? " (shared: only one CPU)" : "",
                s.clusterPairs, serving.c_str(), s.roundTrips);
    std::fflush(stdout); // before the servers inherit the buffer

    std::string error, clusterError;
    SecretFile secret;
    std::optional<ScopedPin> pin(placement.measured);
    std::optional<Service> single = StartSingle(s, error);
    std::optional<Service> cluster = StartCluster(s, secret, clusterError);
    pin.reset();
    if (!single)
        return {ErrorFigure("cluster.single", error)};
    ClientSwarm probe; // proves that the nodes see each other before anything is timed
    if (cluster && !PairAcross(*cluster, probe, kProbePair, clusterError))
        cluster.reset();

    auto roundTrips = [&](const Service& service, std::string& why) {
        ScopedPin together(placement.measured);
        return TimeRoundTrips(service, s.roundTrips, why);
    };
    const std::optional<RoundTrips> oneTrips = roundTrips(*single, error);
    const std::optional<RoundTrips> twoTrips =
        cluster ? roundTrips(*cluster, clusterError) : std::nullopt;
    const std::optional<MatchingRun> oneMatching =
        oneTrips ? MatchPairs(*single, s.clusterPairs, error) : std::nullopt;
    single.reset();
    const std::optional<MatchingRun> twoMatching =
        twoTrips ? MatchPairs(*cluster, s.clusterPairs, clusterError) : std::nullopt;

    if (!oneMatching)
        return {ErrorFigure("cluster.single", error)};
    const HalfRun one{*oneTrips, *oneMatching};
    std::vector<Figure> figures;
    AddFigures(figures, "single", one, nullptr);
    if (!twoMatching)
        figures.push_back(ErrorFigure("cluster.two", clusterError));
    else
        AddFigures(figures, "two", {*twoTrips, *twoMatching}, &one);
    // A user never offered a partner who waits for it is a fault, whatever the figures say.
    if (!oneMatching->left.empty())
        figures.push_back(ErrorFigure("cluster.single.pairing", oneMatching->left));
    if (twoMatching && !twoMatching->left.empty())
        figures.push_back(ErrorFigure("cluster.two.pairing", twoMatching->left));
    return figures;
}

} // namespace vessaro::bench
