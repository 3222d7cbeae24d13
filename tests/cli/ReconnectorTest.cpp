#include "Reconnector.h"

#include <gtest/gtest.h>

using vessaro::cli::Reconnector;

namespace {

TEST(Reconnector, WaitsGrowToThirtySecondsComeDueOnceAndStartAgainAfterAConnect) {
    Reconnector r(true);
    int64_t now = 0;
    std::vector<int64_t> waits;
    for (int i = 0; i < 7; ++i) {
        int64_t wait = r.SessionEnded(now).value_or(-1);
        waits.push_back(wait);
        EXPECT_EQ(r.WaitMs(now + wait - 1), 1);
        EXPECT_FALSE(r.TakeDue(now + wait - 1));
        EXPECT_TRUE(r.TakeDue(now + wait));
        EXPECT_FALSE(r.TakeDue(now + wait));
        now += wait;
    }
    EXPECT_EQ(waits, (std::vector<int64_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));
    r.Connected();
    EXPECT_EQ(r.SessionEnded(now), 1000);
    r.Cancel(); // leaving: the pending try and any later one are dropped
    EXPECT_FALSE(r.TakeDue(now + 60000));
    EXPECT_FALSE(r.SessionEnded(now).has_value());
    EXPECT_FALSE(Reconnector(false).SessionEnded(0).has_value());
}

} // namespace
