#include "EnginePeer.h"

#include "ClientInterface.h"
#include "ClientTransport.h"
#include "DispatchGate.h"
#include "Figures.h"
#include "ProfileMaker.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <mutex>
#include <sys/resource.h>

namespace vessaro::bench {
namespace {

// The events of the engine, handed from its callback to the peer's own thread, the way a window
// receives them. The thread is woken only by the codes it waits for: a chat window would show each
// text, but this peer has nothing to do with one, and waking it for every text would measure the
// harness rather than the engine.
class EventQueue {
public:
    void Put(int32_t code) {
        bool wake;
        {
            std::lock_guard lock(mutex_);
            codes_.push_back(code);
            wake = (Bit(code) & awaited_) != 0;
        }
        // The callback runs with the engine locked; the waiter, which will post the next text at
        // once, is woken when the lock is free again.
        if (wake)
            AfterDispatch([this] { ready_.notify_one(); });
    }
    // The first of the codes that arrives within the time-out, or 0; other codes are skipped.
    int32_t WaitFor(std::initializer_list<int32_t> codes, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        uint64_t wanted = 0;
        for (int32_t code : codes)
            wanted |= Bit(code);
        awaited_ = wanted;
        for (;;) {
            while (!codes_.empty()) {
                int32_t next = codes_.front();
                codes_.pop_front();
                if (Bit(next) & wanted)
                    return next;
            }
            if (ready_.wait_until(lock, deadline) == std::cv_status::timeout && codes_.empty())
                return 0;
        }
    }
    bool WaitFor(int32_t code, std::chrono::seconds timeout) {
        return WaitFor({code}, timeout) == code;
    }

private:
    static uint64_t Bit(int32_t code) { return code > 0 && code < 64 ? uint64_t{1} << code : 0; }
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<int32_t> codes_;
    uint64_t awaited_ = 0; // the codes WaitFor waits for, one bit each
};

int Fail(const char* what) {
    std::fprintf(stderr, "engine peer: %s\n", what);
    return 1;
}

} // namespace

ProcessUsageSoFar OwnUsage() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec),
            static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw)};
}

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
    const ProcessUsageSoFar start = OwnUsage();
    if (!o.sender) {
        events.WaitFor(EVT_TALK_ENDED, std::chrono::seconds(300));
        const ProcessUsageSoFar end = OwnUsage();
        std::ofstream(o.resultFile + ".echo")
            << end.cpuNanos - start.cpuNanos << ' ' << end.switches - start.switches << '\n';
        return 0;
    }
    // Each text is posted, as the chat window and vessaro-cli post them, and the next goes out
    // when the engine reports the previous one confirmed (or failed).
    const TalkText text = MakeTalkText("round trip");
    auto sendOne = [&text] {
        if (ClientPostText(text) == 0)
            return false;
        return events.WaitFor({EVT_TEXT_CONFIRMED, EVT_TEXT_FAILED}, std::chrono::seconds(10)) ==
               EVT_TEXT_CONFIRMED;
    };
    for (int i = 0; i < 50; ++i) // warm-up, not timed
        sendOne();
    std::vector<double> micros;
    std::size_t failures = 0;
    for (std::size_t i = 0; i < o.texts; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const bool confirmed = sendOne();
        const auto end = std::chrono::steady_clock::now();
        if (confirmed)
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        else
            ++failures;
    }
    const ProcessUsageSoFar end = OwnUsage();
    ClientHangUp();
    events.WaitFor(EVT_TALK_ENDED, std::chrono::seconds(5));
    Spread spread = Summarise(std::move(micros));
    std::ofstream(o.resultFile) << spread.median << ' ' << spread.p99 << ' ' << spread.count << ' '
                                << failures << ' ' << end.cpuNanos - start.cpuNanos << ' '
                                << o.texts + 50 << ' ' << end.switches - start.switches << '\n';
    return 0;
}

} // namespace vessaro::bench
