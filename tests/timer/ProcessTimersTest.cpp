#include "FiredLog.h"
#include "Timers.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(ProcessTimers, ArmKillAndFireThroughTheProcessWideService) {
    EXPECT_EQ(vessaro::TimerInit(), 0);
    EXPECT_EQ(vessaro::TimerInit(), 0) << "idempotent";
    FiredLog log;
    auto record = [&log](uint32_t tag) { log.Add(tag); };
    vessaro::TimerHandle killed = vessaro::TimerSet(30, 1, record);
    EXPECT_TRUE(vessaro::TimerKill(killed));
    EXPECT_FALSE(vessaro::TimerKill(killed));
    vessaro::TimerSet(60, 2, record);
    // The same service is reachable for code that takes it injected.
    vessaro::TimerHandle viaInterface = vessaro::ProcessTimers().Set(10, 3, record);
    EXPECT_NE(viaInterface, 0u);

    ASSERT_TRUE(log.WaitForCount(2));
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{3, 2}));
    EXPECT_NE(log.Firings()[0].thread, std::this_thread::get_id());
}

TEST(ProcessTimers, ShutdownStopsTheServiceUntilInitStartsItAgain) {
    vessaro::TimerInit();
    FiredLog log;
    auto record = [&log](uint32_t tag) { log.Add(tag); };
    vessaro::TimerSet(10000, 1, record);
    vessaro::TimerShutdown();
    vessaro::TimerShutdown();
    EXPECT_EQ(vessaro::TimerSet(1, 2, record), 0u);

    vessaro::TimerInit();
    vessaro::TimerSet(1, 3, record);
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ(log.Tags(), (std::vector<uint32_t>{3}));
}

TEST(ProcessTimers, SystemClockFollowsRealTime) {
    vessaro::Clock& clock = vessaro::SystemClock();
    uint32_t before = clock.TickCount();
    std::this_thread::sleep_for(30ms);
    uint32_t elapsed = clock.TickCount() - before; // unsigned: correct across a wrap
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 60000u);
}
