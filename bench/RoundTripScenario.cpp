// Round trip of one text to its acknowledgement: two real client engines through the server,
// against two minimal echo clients through the minimal forwarder.
#include "Datagram.h"
#include "MinimalForwarder.h"
#include "Scenarios.h"
#include "ServerUnderTest.h"
#include "SimClient.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vessaro::bench {
namespace {

// The baseline: one thread sends a 560-byte datagram and blocks for the answer; the other blocks
// for a datagram and sends it straight back. Both through the forwarder.
Spread EchoBaseline(std::size_t roundTrips) {
    MinimalForwarder forwarder;
    UdpSocket pinger, echoer;
    pinger.SetBlocking(true);
    echoer.SetBlocking(true);
    forwarder.AddPair(pinger.local(), echoer.local());
    const std::size_t total = roundTrips + 50;
    std::thread echo([&] {
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
    for (std::size_t i = 0; i < total; ++i) {
        const auto start = BenchClock::now();
        pinger.SendTo(forwarder.address(), text);
        if (!pinger.WaitReadable(2000))
            break;
        pinger.Receive(buffer);
        if (i >= 50)
            micros.push_back(
                std::chrono::duration<double, std::micro>(BenchClock::now() - start).count());
    }
    echo.join();
    return Summarise(std::move(micros));
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

std::optional<Spread> EngineRoundTrip(const BenchSettings& s, std::string& error) {
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
    const int echo = StartPeer(s, server.port(), false, name);
    const int sender = StartPeer(s, server.port(), true, name);
    const bool senderOk = WaitPeer(sender);
    const bool echoOk = WaitPeer(echo);
    std::ifstream in(name);
    Spread spread;
    std::size_t failures = 0;
    const bool read = bool(in >> spread.median >> spread.p99 >> spread.count >> failures);
    unlink(name);
    if (!senderOk || !echoOk || !read || spread.count == 0) {
        error = "the engine peers did not finish their texts";
        return std::nullopt;
    }
    if (failures)
        std::fprintf(stderr, "vessaro-bench: rtt: %zu texts unacknowledged\n", failures);
    return spread;
}

} // namespace

std::vector<Figure> RunRoundTrip(const BenchSettings& s) {
    const Spread base = EchoBaseline(s.roundTrips);
    std::string error;
    const std::optional<Spread> engines = EngineRoundTrip(s, error);
    if (!engines)
        return {ErrorFigure("rtt", error)};
    Figure median =
        AtMost("rtt.engines.median", engines->median, "us", 3 * base.median, "3 x baseline");
    median.ratio = engines->median / std::max(1e-9, base.median);
    Figure p99{
        "rtt.engines.p99", engines->p99, "us", "", {}, base.p99 > 0 ? engines->p99 / base.p99 : 0};
    return {{"rtt.baseline.median", base.median, "us", "", {}, {}},
            median,
            {"rtt.baseline.p99", base.p99, "us", "", {}, {}},
            p99};
}

} // namespace vessaro::bench
