#include "ThreadTimerService.h"
#include "FiredLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <set>

using namespace std::chrono_literals;
using vessaro::ThreadTimerService;
using vessaro::TimerHandle;

namespace {

constexpr uint32_t kSentinel = 999;

vessaro::TimerCallback Into(FiredLog& log) {
    return [&log](uint32_t tag) { log.Add(tag); };
}

// Arms a late timer and waits for it: every timer due before it has had its chance to fire.
void WaitPast(ThreadTimerService& timers, FiredLog& log, uint32_t dueMs) {
    timers.Set(dueMs, kSentinel, Into(log));
    ASSERT_TRUE(log.WaitForTag(kSentinel));
}

} // namespace

TEST(ThreadTimerService, FiresOnceWithItsTagOnItsOwnThread) {
    ThreadTimerService timers;
    FiredLog log;
    TimerHandle handle = timers.Set(20, 7, Into(log));
    EXPECT_NE(handle, 0u);
    WaitPast(timers, log, 80);

    auto firings = log.Firings();
    ASSERT_EQ(firings.size(), 2u);
    EXPECT_EQ(firings[0].tag, 7u);
    EXPECT_EQ(firings[1].tag, kSentinel);
    EXPECT_NE(firings[0].thread, std::this_thread::get_id());
    EXPECT_EQ(timers.ArmedCount(), 0u);
    EXPECT_FALSE(timers.Kill(handle)) << "a fired timer is no longer armed";
}

TEST(ThreadTimerService, FiresInDueOrderAndTiesInArmingOrder) {
    ThreadTimerService timers;
    FiredLog log;
    // Gaps wide enough that a stalled test thread cannot reorder the due times; the two 150 ms
    // timers are due in the order they were armed.
    timers.Set(400, 4, Into(log));
    timers.Set(10, 1, Into(log));
    timers.Set(150, 2, Into(log));
    timers.Set(150, 3, Into(log));
    ASSERT_TRUE(log.WaitForCount(4));
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST(ThreadTimerService, KilledTimerNeverFiresAndSecondKillIsHarmless) {
    ThreadTimerService timers;
    FiredLog log;
    TimerHandle killed = timers.Set(30, 5, Into(log));
    EXPECT_TRUE(timers.Kill(killed));
    EXPECT_FALSE(timers.Kill(killed));
    EXPECT_FALSE(timers.Kill(0));
    EXPECT_FALSE(timers.Kill(killed + 1000));
    WaitPast(timers, log, 100);
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{kSentinel}));
}

TEST(ThreadTimerService, CallbackMayArmAndKillTimers) {
    ThreadTimerService timers;
    FiredLog log;
    TimerHandle doomed = timers.Set(200, 66, Into(log));
    timers.Set(10, 1, [&](uint32_t tag) {
        log.Add(tag);
        timers.Kill(doomed);
        timers.Set(10, 2, Into(log));
    });
    WaitPast(timers, log, 300);
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{1, 2, kSentinel}));
}

TEST(ThreadTimerService, KillDoesNotWaitForACallbackUnderWay) {
    // Declared before the service, so they outlive the callback that the service joins.
    std::latch entered(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ThreadTimerService timers;
    TimerHandle running = timers.Set(0, 1, [&](uint32_t) {
        entered.count_down();
        released.wait();
    });
    TimerHandle pending = timers.Set(10000, 2, nullptr);
    entered.wait();

    // If Kill waited for the callback, these would never finish while it is held.
    auto kills = std::async(std::launch::async, [&] {
        return std::pair{timers.Kill(running), timers.Kill(pending)};
    });
    auto status = kills.wait_for(10s);
    release.set_value();
    ASSERT_EQ(status, std::future_status::ready);
    auto [killedRunning, killedPending] = kills.get();
    EXPECT_FALSE(killedRunning) << "already under way";
    EXPECT_TRUE(killedPending);
}

TEST(ThreadTimerService, HandlesAreNeverZeroNorReusedAcrossServices) {
    ThreadTimerService first;
    ThreadTimerService second;
    std::set<TimerHandle> seen;
    for (int i = 0; i < 100; ++i) {
        TimerHandle a = first.Set(60000, 1, nullptr);
        TimerHandle b = second.Set(60000, 1, nullptr);
        first.Kill(a);
        EXPECT_NE(a, 0u);
        EXPECT_NE(b, 0u);
        EXPECT_TRUE(seen.insert(a).second);
        EXPECT_TRUE(seen.insert(b).second);
    }
    EXPECT_EQ(first.ArmedCount(), 0u);
    EXPECT_EQ(second.ArmedCount(), 100u);
}

TEST(ThreadTimerService, StopWaitsForTheCallbackUnderWayThenNothingFires) {
    ThreadTimerService timers;
    std::latch entered(1);
    std::atomic<bool> finished{false};
    std::atomic<int> lateFirings{0};
    timers.Set(0, 1, [&](uint32_t) {
        entered.count_down();
        // Finish only once Stop has dropped the armed timers, and a little after, so that Stop
        // is already waiting when this returns.
        while (timers.Running())
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
        finished = true;
    });
    timers.Set(1, 2, [&](uint32_t) { ++lateFirings; });
    entered.wait();
    timers.Stop();
    EXPECT_TRUE(finished) << "Stop returned while a callback was still running";
    EXPECT_FALSE(timers.Running());
    EXPECT_EQ(timers.Set(1, 3, nullptr), 0u) << "a stopped service arms nothing";
    EXPECT_EQ(timers.ArmedCount(), 0u);

    // Started again, the timers dropped by Stop stay dropped.
    timers.Start();
    FiredLog log;
    WaitPast(timers, log, 30);
    EXPECT_EQ(lateFirings, 0);
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{kSentinel}));
}

TEST(ThreadTimerService, StopFromACallbackEndsTheThreadWithoutDeadlock) {
    FiredLog log;
    {
        ThreadTimerService timers;
        timers.Set(0, 1, [&](uint32_t tag) {
            timers.Stop();
            log.Add(tag);
        });
        timers.Set(0, 2, Into(log));
        ASSERT_TRUE(log.WaitForCount(1));
        // The destructor joins the ended thread.
    }
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{1}));
}

TEST(ThreadTimerService, ManyKilledLongTimersDoNotHoldBackAShortOne) {
    ThreadTimerService timers;
    FiredLog log;
    for (int i = 0; i < 1000; ++i)
        timers.Kill(timers.Set(35000, 10, Into(log)));
    EXPECT_EQ(timers.ArmedCount(), 0u);
    timers.Set(5, 1, Into(log));
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{1}));
}

// The wait for each acknowledged text is armed and killed again long before it is due, each a
// little later than the one before: only the first may wake the thread, which then sleeps to that
// first deadline, killed or not; later deadlines leave it asleep. A sooner one wakes it.
TEST(ThreadTimerService, OnlyASoonerDeadlineWakesTheSleepingThread) {
    ThreadTimerService timers;
    FiredLog log;
    auto waitAsleep = [&timers] {
        for (int i = 0; i < 2000 && !timers.Sleeping(); ++i)
            std::this_thread::sleep_for(1ms);
        return timers.Sleeping();
    };
    timers.Set(60000, 1, Into(log));
    ASSERT_TRUE(waitAsleep());
    const std::size_t wakes = timers.Wakes();
    for (uint32_t i = 0; i < 50; ++i) {
        timers.Kill(timers.Set(30000 + i, 2, Into(log)));
        ASSERT_TRUE(waitAsleep());
    }
    EXPECT_EQ(timers.Wakes(), wakes + 1) << "later deadlines woke the timer thread";
    WaitPast(timers, log, 5);
    EXPECT_EQ(timers.Wakes(), wakes + 2);
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{kSentinel}));
}
