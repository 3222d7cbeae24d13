// Sessions: S idle sessions held open by a load generator process of its own (their notices
// answered), spread over tens of thousands of loopback addresses; the server's memory and CPU at
// rest, and its CPU time per datagram exchanged.
#include "EndpointSwarm.h"
#include "ForkedWorker.h"
#include "LoadGenerator.h"
#include "Placement.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"

#include <cstdio>
#include <thread>

namespace vessaro::bench {
namespace {

constexpr std::size_t kTargetSessions = 1000000;

Figure Plain(std::string name, double value, std::string unit) {
    return {std::move(name), value, std::move(unit), "", {}, {}};
}

// A target that is judged only at the size it is set for.
Figure AtMostAtSize(std::string name, double value, std::string unit, double limit,
                    std::string limitText, bool judged) {
    Figure f = AtMost(std::move(name), value, std::move(unit), limit, std::move(limitText));
    if (!judged) {
        f.met.reset();
        f.target.clear();
    }
    return f;
}

} // namespace

// The arguments that let one server hold this many sessions from the swarm's addresses.
std::vector<std::string> SwarmServerArguments(std::size_t sessions,
                                              const std::vector<std::string>& extra) {
    const std::string room = std::to_string(std::max<std::size_t>(sessions * 2, 100000));
    std::vector<std::string> arguments{
        "--max-sessions",         room, "--max-tracked-addresses", room,
        "--max-tracked-networks", room, "--max-unproven",          room};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
}

std::vector<Figure> RunSessions(const BenchSettings& s) {
    const Placement placement = Placement::Choose();
    ScopedPin self(placement.generator);
    std::printf("sessions placement: %s; generator %d threads\n", placement.Describe().c_str(),
                s.generatorThreads);
    std::optional<ScopedPin> pin(placement.measured);
    ServerUnderTest server(s.serverProgram, SwarmServerArguments(s.sessions, s.serverOptions));
    pin.reset();
    if (!server.ready())
        return {ErrorFigure("sessions", server.error())};
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::optional<ProcessUsage> empty = ReadProcessUsage(server.pid());
    EndpointSwarm swarm(s.sessions, {LoopbackAddress(), server.port()}, false);
    if (!swarm.valid())
        return {ErrorFigure("sessions", "cannot open the swarm's sockets")};
    const std::optional<ProcessUsage> beforeConnects = ReadProcessUsage(server.pid());
    const uint64_t dropsBeforeConnects = ReadUdpReceiveDrops().value_or(0);
    const auto connectStart = BenchClock::now();
    ForkedWorker generator(placement.generator, [&](WorkerChannel& channel) {
        swarm.Run(s.generatorThreads, kConnectWindow, [&] { return channel.StopAsked(); });
        return 0;
    });
    if (!generator.started())
        return {ErrorFigure("sessions", "cannot start the load generator")};
    const auto deadline = connectStart + std::chrono::seconds(30) +
                          std::chrono::microseconds(200 * s.sessions); // 5,000 a second at worst
    while (!swarm.settled() && BenchClock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double connectSeconds =
        std::chrono::duration<double>(BenchClock::now() - connectStart).count();
    const SwarmCounts& c = swarm.counts();
    const uint64_t granted = c.granted;
    const uint64_t closedConnecting = c.closed;
    std::printf("sessions: %llu of %zu open after %.1f s (%llu grants, %llu closed by the server "
                "meanwhile and connected again, %llu refused, %llu started again unanswered)\n",
                (unsigned long long)c.open.load(), s.sessions, connectSeconds,
                (unsigned long long)granted, (unsigned long long)closedConnecting,
                (unsigned long long)c.refused.load(), (unsigned long long)c.restarts.load());

    // At rest: only notices and their acknowledgements go on.
    const std::optional<ProcessUsage> before = ReadProcessUsage(server.pid());
    const uint64_t openBefore = c.open;
    const uint64_t dropsBefore = ReadUdpReceiveDrops().value_or(0);
    const uint64_t closedBefore = c.closed;
    const uint64_t exchangedBefore = c.received + c.sent;
    const uint64_t noticesBefore = c.notices;
    const auto start = BenchClock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(s.restSeconds));
    const std::optional<ProcessUsage> after = ReadProcessUsage(server.pid());
    const double elapsed = std::chrono::duration<double>(BenchClock::now() - start).count();
    const uint64_t exchanged = c.received + c.sent - exchangedBefore;
    const uint64_t notices = c.notices - noticesBefore;
    const uint64_t closed = c.closed - closedBefore;
    const uint64_t openAfter = c.open;
    const uint64_t dropsAfter = ReadUdpReceiveDrops().value_or(0);
    generator.Stop();
    if (!empty || !before || !after || !beforeConnects)
        return {ErrorFigure("sessions", "cannot read the server's /proc entries")};

    if (openAfter == 0)
        return {ErrorFigure("sessions", "no session stayed open")};
    const std::string at = "sessions.s" + std::to_string(s.sessions);
    const bool judged = std::min(openBefore, openAfter) >= kTargetSessions;
    const double cpuSeconds = after->cpuSeconds - before->cpuSeconds;
    const double perSession =
        openAfter ? (after->rssMegabytes - empty->rssMegabytes) * 1024 * 1024 / double(openAfter)
                  : 0;
    const double connectCpu = before->cpuSeconds - beforeConnects->cpuSeconds;
    return {
        Plain(at + ".open", double(openAfter), "sessions"),
        Plain(at + ".connect_rate", double(granted) / connectSeconds, "sessions/s"),
        Plain(at + ".server.cpu_per_connect", granted ? connectCpu * 1e6 / double(granted) : 0,
              "us"),
        Plain(at + ".closed_while_connecting", double(closedConnecting), "sessions"),
        Plain(at + ".closed_at_rest", double(closed), "sessions"),
        Plain(at + ".udp_drops_while_connecting", double(dropsBefore - dropsBeforeConnects),
              "datagrams"),
        Plain(at + ".udp_drops_at_rest", double(dropsAfter - dropsBefore), "datagrams"),
        Plain("sessions.empty.rss", empty->rssMegabytes, "MB"),
        AtMostAtSize(at + ".rss", after->rssMegabytes, "MB", 600, "600 MB at 1,000,000", judged),
        Plain(at + ".bytes_per_session", perSession, "B"),
        AtMostAtSize(at + ".cpu_at_rest", 100.0 * cpuSeconds / elapsed, "%cpu", 50,
                     "50 % at 1,000,000", judged),
        Plain(at + ".notices_per_second", double(notices) / elapsed, "msg/s"),
        Plain(at + ".server.cpu_per_datagram", exchanged ? cpuSeconds * 1e6 / double(exchanged) : 0,
              "us"),
    };
}

} // namespace vessaro::bench
