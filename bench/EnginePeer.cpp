#include "EnginePeer.h"

#include "ClientInterface.h"
#include "ClientTransport.h"
#include "DispatchGate.h"
#include "Figures.h"
#include "ProfileMaker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <linux/futex.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vessaro::bench {
namespace {

// The events of the engine, handed from its callback to the peer's own thread, the way a window
// receives them. The thread is woken only by the code it waits for: a chat window would show each
// text, but this peer has nothing to do with one, and waking it for every text would measure the
// harness rather than the engine.
class EventQueue {
public:
    void Put(int32_t code) {
        bool wake;
        {
            std::lock_guard lock(mutex_);
            codes_.push_back(code);
            wake = code == awaited_;
        }
        if (wake)
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

// The outcomes of the texts, posted one at a time: a count of settled texts that the sender sleeps
// on directly (a futex), so that neither side takes a lock for the hand-off. The callback runs
// with the engine locked; the sender, which posts the next text at once, is woken when the lock is
// free again (AfterDispatch), so that it does not run into the lock and bounce back.
class TextOutcomeCount {
public:
    void Put(bool confirmed) {
        if (!confirmed)
            failed_.fetch_add(1);
        settled_.fetch_add(1);
        AfterDispatch([this] { syscall(SYS_futex, &settled_, FUTEX_WAKE_PRIVATE, 1, nullptr); });
    }
    uint32_t Settled() const { return settled_.load(); }
    // Waits until more texts than `before` are settled (every text is: confirmed, or failed after
    // its last copy or with the conversation). True when the text was confirmed; false when it
    // failed or nothing came within ten seconds.
    bool WaitPast(uint32_t before) {
        const uint32_t failedBefore = failed_.load();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const timespec slice{1, 0};
        while (settled_.load() == before) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            syscall(SYS_futex, &settled_, FUTEX_WAIT_PRIVATE, before, &slice);
        }
        return failed_.load() == failedBefore;
    }

private:
    std::atomic<uint32_t> settled_{0};
    std::atomic<uint32_t> failed_{0};
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
    // Both outlive the engine's callback, which runs until exit.
    static EventQueue events;
    static TextOutcomeCount outcomes;
    if (ClientStart("127.0.0.1", o.serverPort) != 0)
        return Fail("ClientStart failed");
    ClientSetEventCallback([](int32_t code, EventBlock) {
        if (code == EVT_TEXT_CONFIRMED || code == EVT_TEXT_FAILED)
            outcomes.Put(code == EVT_TEXT_CONFIRMED);
        else
            events.Put(code);
    });
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
        const uint32_t settledBefore = outcomes.Settled();
        if (ClientPostText(text) == 0)
            return false;
        return outcomes.WaitPast(settledBefore);
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
