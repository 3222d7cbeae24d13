// Round trip of one text to its acknowledgement: two real client engines through the server,
// against two minimal echo clients through the minimal forwarder. Both paths run on the same one
// CPU, so the figures compare the work and the thread wake-ups of each path, not where the
// scheduler happened to put the threads.
#include "Datagram.h"
#include "EnginePeer.h"
#include "MinimalForwarder.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"
#include "SimClient.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vessaro::bench {
namespace {

constexpr std::size_t kWarmUp = 50;

// Pins the calling thread to the first CPU it may run on, and thereby every thread and process it
// starts while pinned: the forwarder, the echo thread, the server and both engine processes.
// Restores the thread's own set when it ends.
class OneCpuPlacement {
public:
    OneCpuPlacement() {
        CPU_ZERO(&original_);
        if (sched_getaffinity(0, sizeof original_, &original_) != 0)
            return;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (!CPU_ISSET(cpu, &original_))
                continue;
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            if (sched_setaffinity(0, sizeof one, &one) == 0)
                cpu_ = cpu;
            return;
        }
    }
    ~OneCpuPlacement() {
        if (cpu_ >= 0)
            sched_setaffinity(0, sizeof original_, &original_);
    }
    OneCpuPlacement(const OneCpuPlacement&) = delete;
    OneCpuPlacement& operator=(const OneCpuPlacement&) = delete;

    std::string Describe() const {
        if (cpu_ < 0)
            return "not pinned (the system refused): threads wherever the scheduler put them";
        return "every thread of both paths on cpu " + std::to_string(cpu_) + " of " +
               std::to_string(CPU_COUNT(&original_)) + " allowed";
    }

private:
    cpu_set_t original_;
    int cpu_ = -1;
};

// What every live thread of another process has used so far: CPU time from the scheduler's own
// count (the clock ticks of /proc/PID/stat are far too coarse for a few thousand round trips) and
// the times each was switched out.
ProcessUsageSoFar ThreadsUsage(int pid) {
    namespace fs = std::filesystem;
    ProcessUsageSoFar total;
    std::error_code error;
    for (const auto& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        double runNanos = 0;
        if (std::ifstream(task.path() / "schedstat") >> runNanos)
            total.cpuNanos += runNanos;
        std::ifstream status(task.path() / "status");
        for (std::string key; status >> key;) {
            double count = 0;
            if ((key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") &&
                status >> count)
                total.switches += count;
        }
    }
    return total;
}

double ThreadCpuNanos() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Per round trip: CPU time in microseconds and thread switches, for the whole path and for each
// part of it: the sender (the engine process, or the pinging thread), the echo side, and the
// server (or the forwarder, with what else the baseline's process did meanwhile).
struct PathFigures {
    Spread spread;
    double cpuMicrosPerRoundTrip = 0;
    double switchesPerRoundTrip = 0;
    double senderCpu = 0, echoCpu = 0, serverCpu = 0;
};

// The baseline: one thread sends a 560-byte datagram and blocks for the answer; the other blocks
// for a datagram and sends it straight back. Both through the forwarder.
PathFigures EchoBaseline(std::size_t roundTrips) {
    MinimalForwarder forwarder;
    UdpSocket pinger, echoer;
    pinger.SetBlocking(true);
    echoer.SetBlocking(true);
    forwarder.AddPair(pinger.local(), echoer.local());
    // The forwarder runs as a process of its own, on the CPUs this thread may use (the one CPU of
    // the placement), as the server does on the other path.
    std::vector<int> cpus;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &allowed))
                cpus.push_back(cpu);
    if (!forwarder.Start(cpus))
        return {};
    const std::size_t total = roundTrips + kWarmUp;
    const ProcessUsageSoFar forwarderStart = ThreadsUsage(forwarder.pid());
    const ProcessUsageSoFar start = OwnUsage();
    double echoNanos = 0;
    std::thread echo([&] {
        const double threadStart = ThreadCpuNanos();
        struct Count {
            double& into;
            double from;
            ~Count() { into = ThreadCpuNanos() - from; }
        } count{echoNanos, threadStart};
        std::array<uint8_t, kMaxDatagramSize> buffer;
        for (std::size_t i = 0; i < total; ++i) {
            if (!echoer.WaitReadable(2000))
                return;
            if (std::optional<std::size_t> n = echoer.Receive(buffer))
                echoer.SendTo(forwarder.address(), std::span<const uint8_t>(buffer.data(), *n));
        }
    });
    std::array<uint8_t, 560> text{};
    std::array<uint8_t, kMaxDatagramSize> buffer;
    std::vector<double> micros;
    const double pingerStart = ThreadCpuNanos();
    for (std::size_t i = 0; i < total; ++i) {
        const auto start = BenchClock::now();
        pinger.SendTo(forwarder.address(), text);
        if (!pinger.WaitReadable(2000))
            break;
        pinger.Receive(buffer);
        if (i >= kWarmUp)
            micros.push_back(
                std::chrono::duration<double, std::micro>(BenchClock::now() - start).count());
    }
    const double pingerNanos = ThreadCpuNanos() - pingerStart;
    echo.join();
    // The forwarder's process, the echo thread and this one: the whole path.
    const ProcessUsageSoFar end = OwnUsage();
    const ProcessUsageSoFar forwarderEnd = ThreadsUsage(forwarder.pid());
    const double n = static_cast<double>(total);
    PathFigures figures;
    figures.spread = Summarise(std::move(micros));
    const double forwarderNanos = forwarderEnd.cpuNanos - forwarderStart.cpuNanos;
    figures.cpuMicrosPerRoundTrip = (end.cpuNanos - start.cpuNanos + forwarderNanos) / 1e3 / n;
    figures.senderCpu = pingerNanos / 1e3 / n;
    figures.echoCpu = echoNanos / 1e3 / n;
    figures.serverCpu = forwarderNanos / 1e3 / n;
    figures.switchesPerRoundTrip =
        (end.switches - start.switches + forwarderEnd.switches - forwarderStart.switches) / n;
    return figures;
}

int StartPeer(const BenchSettings& s, uint16_t port, bool sender, const std::string& resultFile) {
    std::vector<std::string> args{s.selfProgram,   "engine-peer",
                                  "--server-port", std::to_string(port),
                                  "--role",        sender ? "sender" : "echo",
                                  "--texts",       std::to_string(s.roundTrips),
                                  "--result-file", resultFile};
    int pid = fork();
    if (pid == 0) {
        // The engine's console lines are not wanted here.
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        ExecInChild(std::move(args));
    }
    return pid;
}

bool WaitPeer(int pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

std::optional<PathFigures> EngineRoundTrip(const BenchSettings& s, std::string& error) {
    ServerUnderTest server(s.serverProgram);
    if (!server.ready()) {
        error = server.error();
        return std::nullopt;
    }
    char name[] = "/tmp/vessaro-bench-rtt-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) {
        error = "cannot make a result file";
        return std::nullopt;
    }
    close(fd);
    const std::string echoFile = std::string(name) + ".echo";
    const ProcessUsageSoFar serverStart = ThreadsUsage(server.pid());
    const int echoPid = StartPeer(s, server.port(), false, name);
    const int senderPid = StartPeer(s, server.port(), true, name);
    const bool senderOk = WaitPeer(senderPid);
    const bool echoOk = WaitPeer(echoPid);
    const ProcessUsageSoFar serverEnd = ThreadsUsage(server.pid());
    std::ifstream in(name);
    std::ifstream echoIn(echoFile);
    Spread spread;
    std::size_t failures = 0, sent = 0;
    ProcessUsageSoFar sender, echo;
    const bool read = bool(in >> spread.median >> spread.p99 >> spread.count >> failures >>
                           sender.cpuNanos >> sent >> sender.switches) &&
                      bool(echoIn >> echo.cpuNanos >> echo.switches);
    unlink(name);
    unlink(echoFile.c_str());
    if (!senderOk || !echoOk || !read || spread.count == 0 || sent == 0) {
        error = "the engine peers did not finish their texts";
        return std::nullopt;
    }
    if (failures)
        std::fprintf(stderr, "vessaro-bench: rtt: %zu texts unacknowledged\n", failures);
    // Both engine processes and the server, over every text of the conversation.
    const double n = static_cast<double>(sent);
    PathFigures figures;
    figures.spread = spread;
    figures.senderCpu = sender.cpuNanos / 1e3 / n;
    figures.echoCpu = echo.cpuNanos / 1e3 / n;
    figures.serverCpu = (serverEnd.cpuNanos - serverStart.cpuNanos) / 1e3 / n;
    figures.cpuMicrosPerRoundTrip = figures.senderCpu + figures.echoCpu + figures.serverCpu;
    figures.switchesPerRoundTrip =
        (sender.switches + echo.switches + serverEnd.switches - serverStart.switches) / n;
    return figures;
}

} // namespace

std::vector<Figure> RunRoundTrip(const BenchSettings& s) {
    OneCpuPlacement placement;
    std::printf("rtt placement: %s\n", placement.Describe().c_str());
    std::fflush(stdout); // before the children inherit the buffer
    const PathFigures base = EchoBaseline(s.roundTrips);
    std::string error;
    const std::optional<PathFigures> engines = EngineRoundTrip(s, error);
    if (!engines)
        return {ErrorFigure("rtt", error)};
    auto over = [](double value, double baseline) {
        return baseline > 0 ? std::optional<double>(value / baseline) : std::nullopt;
    };
    const double baseMedian = base.spread.median;
    Figure median =
        AtMost("rtt.engines.median", engines->spread.median, "us", 2 * baseMedian, "2 x baseline");
    median.ratio = over(engines->spread.median, baseMedian);
    return {{"rtt.baseline.median", baseMedian, "us", "", {}, {}},
            median,
            {"rtt.baseline.p99", base.spread.p99, "us", "", {}, {}},
            {"rtt.engines.p99",
             engines->spread.p99,
             "us",
             "",
             {},
             over(engines->spread.p99, base.spread.p99)},
            {"rtt.baseline.cpu", base.cpuMicrosPerRoundTrip, "us/rtt", "", {}, {}},
            {"rtt.engines.cpu",
             engines->cpuMicrosPerRoundTrip,
             "us/rtt",
             "",
             {},
             over(engines->cpuMicrosPerRoundTrip, base.cpuMicrosPerRoundTrip)},
            {"rtt.baseline.cpu.sender", base.senderCpu, "us/rtt", "", {}, {}},
            {"rtt.engines.cpu.sender", engines->senderCpu, "us/rtt", "", {}, {}},
            {"rtt.baseline.cpu.echo", base.echoCpu, "us/rtt", "", {}, {}},
            {"rtt.engines.cpu.echo", engines->echoCpu, "us/rtt", "", {}, {}},
            {"rtt.baseline.cpu.forwarder", base.serverCpu, "us/rtt", "", {}, {}},
            {"rtt.engines.cpu.server", engines->serverCpu, "us/rtt", "", {}, {}},
            {"rtt.baseline.switches", base.switchesPerRoundTrip, "/rtt", "", {}, {}},
            {"rtt.engines.switches",
             engines->switchesPerRoundTrip,
             "/rtt",
             "",
             {},
             over(engines->switchesPerRoundTrip, base.switchesPerRoundTrip)}};
}

} // namespace vessaro::bench
