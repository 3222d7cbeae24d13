#include "ManualTimerService.h"

#include <gtest/gtest.h>

#include <vector>

using vessaro::ManualClock;
using vessaro::ManualTimerService;
using vessaro::TimerHandle;

namespace {

struct Fired {
    uint32_t tag;
    uint32_t tick; // the clock when it fired
    bool operator==(const Fired&) const = default;
};

struct Recorder {
    ManualTimerService& timers;
    std::vector<Fired> fired;

    vessaro::TimerCallback Callback() {
        return [this](uint32_t tag) { fired.push_back({tag, timers.clock().TickCount()}); };
    }
};

} // namespace

TEST(ManualClock, CountsAndWrapsAt32Bits) {
    ManualClock clock(0xFFFFFFF0u);
    clock.Advance(0x10);
    EXPECT_EQ(clock.TickCount(), 0u);
    clock.Advance(25);
    EXPECT_EQ(clock.TickCount(), 25u);
    clock.Set(7);
    EXPECT_EQ(clock.TickCount(), 7u);
}

TEST(ManualTimerService, FiresDueTimersInDueOrderAtTheirDueTimes) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, uint32_t>> armed; // (due ms, tag)
        std::vector<uint32_t> steps;                      // successive Advance calls
        std::vector<Fired> expected;
    };
    const Case cases[] = {
        {"nothing due yet", {{1000, 1}}, {999}, {}},
        {"due exactly at the end of a step", {{1000, 1}}, {1000}, {{1, 1000}}},
        {"out of arming order",
         {{5000, 2}, {1000, 1}, {35000, 3}},
         {40000},
         {{1, 1000}, {2, 5000}, {3, 35000}}},
        {"ties in arming order",
         {{500, 9}, {500, 4}, {500, 6}},
         {500},
         {{9, 500}, {4, 500}, {6, 500}}},
        {"spread over steps", {{1000, 1}, {3000, 2}}, {1500, 1000, 499, 1}, {{1, 1000}, {2, 3000}}},
        {"zero delay fires on the next advance", {{0, 8}}, {0}, {{8, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualTimerService timers;
        Recorder rec{timers, {}};
        for (auto [due, tag] : c.armed)
            timers.Set(due, tag, rec.Callback());
        for (uint32_t step : c.steps)
            timers.Advance(step);
        EXPECT_EQ(rec.fired, c.expected);
        EXPECT_EQ(timers.ArmedCount(), c.armed.size() - c.expected.size());
    }
}

TEST(ManualTimerService, KilledTimersNeverFireAndSecondKillIsHarmless) {
    ManualTimerService timers;
    Recorder rec{timers, {}};
    TimerHandle a = timers.Set(1000, 1, rec.Callback());
    TimerHandle b = timers.Set(1000, 2, rec.Callback());
    EXPECT_TRUE(timers.IsArmed(a));
    EXPECT_TRUE(timers.Kill(a));
    EXPECT_FALSE(timers.Kill(a));
    EXPECT_FALSE(timers.IsArmed(a));
    EXPECT_EQ(timers.Advance(2000), 1u);
    EXPECT_EQ(rec.fired, (std::vector<Fired>{{2, 1000}}));
    EXPECT_FALSE(timers.Kill(b)) << "fired already";
}

TEST(ManualTimerService, ACallbackKillingATimerDueAtTheSameTimeStopsIt) {
    ManualTimerService timers;
    Recorder rec{timers, {}};
    TimerHandle second = 0;
    timers.Set(100, 1, [&](uint32_t tag) {
        rec.fired.push_back({tag, timers.clock().TickCount()});
        timers.Kill(second);
    });
    second = timers.Set(100, 2, rec.Callback());
    timers.Advance(100);
    EXPECT_EQ(rec.fired, (std::vector<Fired>{{1, 100}}));
}

// The engine's retry pattern: each tick re-arms a 1000 ms timer until three have passed.
TEST(ManualTimerService, TimersArmedByCallbacksFireWithinTheSameAdvance) {
    ManualTimerService timers;
    std::vector<uint32_t> firedAt;
    std::function<void(uint32_t)> retry = [&](uint32_t tag) {
        firedAt.push_back(timers.clock().TickCount());
        if (firedAt.size() < 3)
            timers.Set(1000, tag, retry);
    };
    timers.Set(1000, 3, retry);
    EXPECT_EQ(timers.Advance(3500), 3u);
    EXPECT_EQ(firedAt, (std::vector<uint32_t>{1000, 2000, 3000}));
    EXPECT_EQ(timers.clock().TickCount(), 3500u);
    EXPECT_EQ(timers.ArmedCount(), 0u);
    EXPECT_EQ(timers.SetCount(), 3u);
    EXPECT_EQ(timers.FiredCount(), 3u);
}

TEST(ManualTimerService, DescribesWhatIsArmedAcrossAClockWrap) {
    ManualClock clock(0xFFFFFF00u);
    ManualTimerService timers(clock);
    EXPECT_FALSE(timers.Next().has_value());
    TimerHandle offer = timers.Set(35000, 6, nullptr);
    TimerHandle retry = timers.Set(1000, 3, nullptr);
    timers.Advance(200);

    auto next = timers.Next();
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->handle, retry);
    EXPECT_EQ(next->tag, 3u);
    EXPECT_EQ(next->dueMs, 1000u);
    EXPECT_EQ(next->remainingMs, 800u);
    EXPECT_EQ(next->dueTick, 0xFFFFFF00u + 1000u); // wrapped past zero
    auto all = timers.Armed();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].handle, offer);
    EXPECT_EQ(all[1].remainingMs, 34800u);

    timers.Advance(800);
    EXPECT_EQ(clock.TickCount(), 0xFFFFFF00u + 1000u);
    EXPECT_FALSE(timers.IsArmed(retry));
    EXPECT_EQ(timers.Elapsed(), 1000u);
}

TEST(ManualTimerService, FireNextJumpsToTheEarliestAndRunUntilIdleDrainsAll) {
    ManualTimerService timers;
    Recorder rec{timers, {}};
    EXPECT_FALSE(timers.FireNext());
    timers.Set(5000, 2, rec.Callback());
    timers.Set(35000, 3, rec.Callback());
    timers.Set(5000, 1, rec.Callback());
    EXPECT_TRUE(timers.FireNext());
    EXPECT_EQ(rec.fired, (std::vector<Fired>{{2, 5000}, {1, 5000}})) << "all due at that instant";
    EXPECT_EQ(timers.RunUntilIdle(), 1u);
    EXPECT_EQ(rec.fired.back(), (Fired{3, 35000}));
    EXPECT_EQ(timers.ArmedCount(), 0u);
}

TEST(ManualTimerService, RunUntilIdleStopsAtItsLimitForEndlessRearming) {
    ManualTimerService timers;
    std::function<void(uint32_t)> forever = [&](uint32_t tag) { timers.Set(5000, tag, forever); };
    timers.Set(5000, 2, forever);
    EXPECT_EQ(timers.RunUntilIdle(5), 5u);
    EXPECT_EQ(timers.clock().TickCount(), 25000u);
    EXPECT_EQ(timers.ArmedCount(), 1u);
}
