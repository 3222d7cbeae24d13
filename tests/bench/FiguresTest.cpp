#include "Figures.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vessaro::bench {
namespace {

TEST(BenchSummariseTest, TakesNearestRankMedianAndP99) {
    struct Case {
        std::vector<double> samples;
        double median;
        double p99;
    };
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) // unsorted on purpose
        hundred.push_back(i);
    const Case cases[] = {
        {{}, 0, 0}, {{5}, 5, 5}, {{3, 1, 2}, 2, 3}, {{4, 1, 3, 2}, 2, 4}, {hundred, 50, 99},
    };
    for (const Case& c : cases) {
        Spread s = Summarise(c.samples);
        EXPECT_EQ(s.count, c.samples.size());
        EXPECT_DOUBLE_EQ(s.median, c.median);
        EXPECT_DOUBLE_EQ(s.p99, c.p99);
    }
}

TEST(BenchFigureTest, TargetsAreMetOnlyOnTheirSideOfTheLimit) {
    EXPECT_TRUE(*AtMost("a", 20, "us", 20, "20 us").met);
    EXPECT_FALSE(*AtMost("a", 20.01, "us", 20, "20 us").met);
    EXPECT_TRUE(*AtLeast("b", 0.8, "x", 0.8, "0.8").met);
    EXPECT_FALSE(*AtLeast("b", 0.79, "x", 0.8, "0.8").met);
    EXPECT_EQ(AtMost("a", 1, "us", 2, "2 us").target, "<= 2 us");
}

TEST(BenchJsonLineTest, WritesValueRatioAndTarget) {
    Figure f = AtLeast("relay.rate", 1500, "msg/s", 1000, "0.8 x baseline");
    f.ratio = 1.2;
    EXPECT_EQ(JsonLine(f), "{\"figure\":\"relay.rate\",\"value\":1500,\"unit\":\"msg/s\","
                           "\"ratio\":1.2,\"target\":\">= 0.8 x baseline\",\"met\":true}");
}

TEST(BenchJsonLineTest, PlainFigureHasNoTargetAndBadValuesAreNull) {
    Figure f{"x\"y", std::nan(""), "us", "", {}, {}};
    EXPECT_EQ(JsonLine(f), "{\"figure\":\"x\\\"y\",\"value\":null,\"unit\":\"us\"}");
}

TEST(BenchTableTest, ShowsEveryFigureAndWhetherItsTargetWasMet) {
    std::string table =
        Table({AtMost("fast", 1, "us", 2, "2 us"), AtMost("slow", 3, "us", 2, "2 us"),
               Figure{"plain", 7, "MB", "", {}, {}}});
    EXPECT_NE(table.find("fast"), std::string::npos);
    EXPECT_NE(table.find("<= 2 us  met"), std::string::npos);
    EXPECT_NE(table.find("<= 2 us  NOT MET"), std::string::npos);
    EXPECT_NE(table.find("plain"), std::string::npos);
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4); // heading and three rows
}

} // namespace
} // namespace vessaro::bench
