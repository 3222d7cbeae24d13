#include "Reconnector.h"

#include <gtest/gtest.h>

using vessaro::cli::Reconnector;

namespace {

TEST(Reconnector, WaitsGrowToThirtySecondsAndStartAgainAfterAConnect) {
    Reconnector r(true);
    int64_t now = 0;
    std::vector<int64_t> waits;
    for (int i = 0; i < 7; ++i) {
        auto wait = r.SessionEnded(now);
        ASSERT_TRUE(wait.has_value());
        waits.push_back(*wait);
        EXPECT_EQ(r.WaitMs(now), *wait);
        EXPECT_FALSE(r.TakeDue(now + *wait - 1));
        EXPECT_EQ(r.WaitMs(now + *wait - 1), 1);
        EXPECT_TRUE(r.TakeDue(now + *wait));
        EXPECT_FALSE(r.TakeDue(now + *wait)) << "due once";
        EXPECT_EQ(r.WaitMs(now + *wait), -1);
        now += *wait;
    }
    EXPECT_EQ(waits, (std::vector<int64_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));
    r.Connected();
    EXPECT_EQ(r.SessionEnded(now), 1000);
}

TEST(Reconnector, OffOrLeavingMakesNoTry) {
    Reconnector off(false);
    EXPECT_FALSE(off.SessionEnded(0).has_value());
    EXPECT_EQ(off.WaitMs(0), -1);

    Reconnector leaving(true);
    ASSERT_TRUE(leaving.SessionEnded(0).has_value());
    leaving.Cancel();
    EXPECT_FALSE(leaving.TakeDue(60000));
    EXPECT_FALSE(leaving.SessionEnded(60000).has_value());
}

} // namespace
