#include "EnginePeer.h"

#include "ClientInterface.h"
#include "ClientTransport.h"
#include "Figures.h"
#include "ProfileMaker.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <mutex>

namespace vessaro::bench {
namespace {

// The events of the engine, handed from its callback to the peer's own thread. The thread is woken
// only by the code it waits for: a chat window would show each text, but this peer has nothing to
// do with one, and waking it for every text would measure the harness rather than the engine.
class EventQueue {
public:
    void Put(int32_t code) {
        std::lock_guard lock(mutex_);
        codes_.push_back(code);
        if (code == awaited_)
            ready_.notify_one();
    }
    // True when the code arrives within the time-out; other codes before it are skipped.
    bool WaitFor(int32_t code, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        awaited_ = code;
        for (;;) {
            while (!codes_.empty()) {
                int32_t next = codes_.front();
                codes_.pop_front();
                if (next == code)
                    return true;
            }
            if (ready_.wait_until(lock, deadline) == std::cv_status::timeout && codes_.empty())
                return false;
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<int32_t> codes_;
    int32_t awaited_ = 0; // the code WaitFor waits for
};

// CPU time of every thread of this process so far, in nanoseconds.
double ProcessCpuNanos() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

int Fail(const char* what) {
    std::fprintf(stderr, "engine peer: %s\n", what);
    return 1;
}

} // namespace

int RunEnginePeer(const EnginePeerOptions& o) {
    static EventQueue events; // outlives the engine's callback, which runs until exit
    if (ClientStart("127.0.0.1", o.serverPort) != 0)
        return Fail("ClientStart failed");
    ClientSetEventCallback([](int32_t code, EventBlock) { events.Put(code); });
    ClientConnect();
    if (!events.WaitFor(EVT_CONNECTED, std::chrono::seconds(10)))
        return Fail("no session");
    MatchRecords r = ProfileMaker::Pairable(o.pair, o.sender ? 0 : 1);
    ClientRequestMatch(r.profile, r.requirement);
    if (!events.WaitFor(EVT_PARTNER_FOUND, std::chrono::seconds(20)))
        return Fail("no partner");
    ClientAccept();
    if (!events.WaitFor(EVT_TALK_STARTED, std::chrono::seconds(20)))
        return Fail("the conversation did not start");
    const double cpuStart = ProcessCpuNanos();
    if (!o.sender) {
        events.WaitFor(EVT_TALK_ENDED, std::chrono::seconds(300));
        std::ofstream(o.resultFile + ".echo") << ProcessCpuNanos() - cpuStart << '\n';
        return 0;
    }
    const TalkText text = MakeTalkText("round trip");
    for (int i = 0; i < 50; ++i) // warm-up, not timed
        ClientSendText(text);
    std::vector<double> micros;
    std::size_t failures = 0;
    for (std::size_t i = 0; i < o.texts; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const int result = ClientSendText(text);
        const auto end = std::chrono::steady_clock::now();
        if (result == 0)
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        else
            ++failures;
    }
    const double cpuNanos = ProcessCpuNanos() - cpuStart;
    ClientHangUp();
    events.WaitFor(EVT_TALK_ENDED, std::chrono::seconds(5));
    Spread spread = Summarise(std::move(micros));
    std::ofstream(o.resultFile) << spread.median << ' ' << spread.p99 << ' ' << spread.count << ' '
                                << failures << ' ' << cpuNanos << ' ' << o.texts + 50 << '\n';
    return 0;
}

} // namespace vessaro::bench
