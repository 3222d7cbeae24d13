// Sessions: S idle sessions held open (their notices answered) by worker processes, each with
// fewer sockets than the open-file limit; the server's memory and CPU at rest.
#include "ClientSwarm.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vessaro::bench {
namespace {

constexpr std::size_t kPerWorker = 15000;

// The worker: connects its clients, writes how many got a session, then answers notices until the
// parent closes the pipe.
[[noreturn]] void Worker(std::size_t count, uint16_t port, uint32_t firstAddress, int toParent,
                         int fromParent) {
    ClientSwarm swarm;
    std::size_t granted = 0;
    if (swarm.Open(count, {LoopbackAddress(), port}, kPerWorker, firstAddress))
        granted = swarm.ConnectAll(256, std::chrono::seconds(60));
    ssize_t ignored = write(toParent, &granted, sizeof granted);
    (void)ignored;
    for (;;) {
        pollfd p{fromParent, POLLIN, 0};
        if (poll(&p, 1, 0) > 0)
            _exit(0); // closed: the measurement is over
        swarm.Pump(50);
    }
}

struct WorkerProcess {
    int pid;
    int fromWorker;
    int toWorker;
};

std::vector<WorkerProcess> StartWorkers(std::size_t sessions, uint16_t port) {
    std::vector<WorkerProcess> workers;
    for (std::size_t first = 0, w = 0; first < sessions; first += kPerWorker, ++w) {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0)
            break;
        const std::size_t count = std::min(kPerWorker, sessions - first);
        int pid = fork();
        if (pid == 0) {
            close(up[0]);
            close(down[1]);
            RaiseOpenFileLimit();
            // Each worker on its own loopback address, so that no address runs out of ports.
            Worker(count, port, uint32_t(1 + w), up[1], down[0]);
        }
        close(up[1]);
        close(down[0]);
        workers.push_back({pid, up[0], down[1]});
    }
    return workers;
}

void StopWorkers(std::vector<WorkerProcess>& workers) {
    for (WorkerProcess& w : workers) {
        close(w.toWorker);
        close(w.fromWorker);
    }
    for (WorkerProcess& w : workers)
        waitpid(w.pid, nullptr, 0);
}

} // namespace

std::vector<Figure> RunSessions(const BenchSettings& s) {
    ServerUnderTest server(s.serverProgram);
    if (!server.ready())
        return {ErrorFigure("sessions", server.error())};
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::optional<ProcessUsage> empty = ReadProcessUsage(server.pid());
    std::vector<WorkerProcess> workers = StartWorkers(s.sessions, server.port());
    std::size_t granted = 0;
    for (WorkerProcess& w : workers) {
        std::size_t n = 0;
        if (read(w.fromWorker, &n, sizeof n) == ssize_t(sizeof n))
            granted += n;
    }
    // At rest: only notices and their acknowledgements go on.
    const std::optional<ProcessUsage> before = ReadProcessUsage(server.pid());
    const auto start = BenchClock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(s.restSeconds));
    const std::optional<ProcessUsage> after = ReadProcessUsage(server.pid());
    const double elapsed = std::chrono::duration<double>(BenchClock::now() - start).count();
    StopWorkers(workers);
    if (!empty || !before || !after)
        return {ErrorFigure("sessions", "cannot read the server's /proc entries")};

    const std::string at = "sessions.s" + std::to_string(s.sessions);
    Figure rss{at + ".rss", after->rssMegabytes, "MB", "", {}, {}};
    if (s.sessions >= 100000)
        rss = AtMost(rss.name, rss.value, "MB", 150.0, "150 MB");
    rss.ratio = after->rssMegabytes / std::max(1e-9, empty->rssMegabytes);
    const double perSession =
        granted ? (after->rssMegabytes - empty->rssMegabytes) * 1024 * 1024 / double(granted) : 0;
    return {
        {at + ".granted", double(granted), "sessions", "", {}, {}},
        {"sessions.empty.rss", empty->rssMegabytes, "MB", "", {}, {}},
        rss,
        {at + ".bytes_per_session", perSession, "B", "", {}, {}},
        {at + ".cpu_at_rest",
         100.0 * (after->cpuSeconds - before->cpuSeconds) / elapsed,
         "%cpu",
         "",
         {},
         {}},
    };
}

} // namespace vessaro::bench
