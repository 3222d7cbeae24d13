// The server core holding many idle sessions, with no kernel: each session is opened through
// datagrams (connect, then a notice acknowledgement that proves the address), then simulated time
// runs on in steps of a millisecond. Every notice the core sends is acknowledged, as an idle
// client does, so a run is what the core does for its idle sessions: timer sweeps, notices,
// acknowledgements and time-out checks. The sender only collects what goes out.
#include "MatchServer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace vessaro::bench {
namespace {

// The resident memory of this process, in bytes (0 when /proc cannot tell).
std::size_t ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        unsigned long kb = 0;
        if (std::sscanf(line.c_str(), "VmRSS: %lu kB", &kb) == 1)
            return std::size_t(kb) * 1024;
    }
    return 0;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

class IdleCore {
public:
    explicit IdleCore(std::size_t sessions)
        : core_(
              Config(sessions),
              [this](const Endpoint& to, std::span<const uint8_t> d) { OnSent(to, d); },
              [this] { return random_ = random_ * 1664525u + 1013904223u; }) {
        const std::size_t before = ResidentBytes();
        for (std::size_t i = 0; i < sessions; ++i) {
            // 65,536 sessions per address, on ports from 1024.
            const Endpoint from{0x0A000000u + uint32_t(i >> 16), uint16_t(1024 + (i & 0xFFFF))};
            core_.OnDatagram(from, BuildControl(MSG_CONNECT), now_);
            core_.OnDatagram(from, BuildControl(MSG_NOTICE_ACK, granted_), now_);
        }
        acks_.clear();
        bytesPerSession_ = double(ResidentBytes() - before) / double(sessions);
        opened_ = core_.Stats().sessions;
    }

    // Runs the core for a second of simulated time; acknowledges every notice at once.
    void RunOneSecond() {
        for (int ms = 0; ms < 1000; ++ms) {
            ++now_;
            core_.OnTimer(now_);
            for (const auto& [from, id] : acks_)
                core_.OnDatagram(from, BuildControl(MSG_NOTICE_ACK, id), now_);
            acks_.clear();
        }
    }

    double bytesPerSession() const { return bytesPerSession_; }
    std::size_t opened() const { return opened_; }
    uint64_t notices() const { return notices_; }

private:
    static ServerConfig Config(std::size_t sessions) {
        ServerConfig c;
        c.maxSessions = sessions;
        c.maxSessionsPerAddress = 65536;
        c.datagramsPerSecondPerAddress = 1e15;
        c.unprovenBytesPerSecondPerNetwork = 1e15;
        return c;
    }

    void OnSent(const Endpoint& to, std::span<const uint8_t> d) {
        DatagramView m(d);
        if (m.type() == MSG_CONNECT_ACK)
            granted_ = m.sessionId();
        else if (m.type() == MSG_NOTICE && m.sessionId() != 0) {
            ++notices_;
            acks_.emplace_back(to, m.sessionId());
        }
    }

    uint32_t random_ = 12345;
    MatchServer core_;
    int64_t now_ = 1000;
    int32_t granted_ = 0;
    uint64_t notices_ = 0;
    std::vector<std::pair<Endpoint, int32_t>> acks_;
    double bytesPerSession_ = 0;
    std::size_t opened_ = 0;
};

// Per iteration, one simulated second of a core holding the argument's number of idle sessions.
// "core_share" is the CPU time the core took per simulated second: the share of one core it
// needs for these sessions. "bytes_per_session" is the growth of resident memory per session
// opened (every table of the core included).
void BM_ServerIdleSessions(benchmark::State& state) {
    const std::size_t sessions = std::size_t(state.range(0));
    IdleCore core(sessions);
    const uint64_t noticesBefore = core.notices();
    const double cpuBefore = CpuSeconds();
    for (auto _ : state)
        core.RunOneSecond();
    const double cpu = CpuSeconds() - cpuBefore;
    state.counters["sessions"] = double(core.opened());
    state.counters["core_share"] = cpu / double(std::max<int64_t>(1, state.iterations()));
    state.counters["bytes_per_session"] = core.bytesPerSession();
    state.counters["notices_per_s"] =
        double(core.notices() - noticesBefore) / double(std::max<int64_t>(1, state.iterations()));
}
BENCHMARK(BM_ServerIdleSessions)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

} // namespace
} // namespace vessaro::bench
