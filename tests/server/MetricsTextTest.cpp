#include "MetricsText.h"
#include "Codec.h"
#include "StatsSnapshot.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace vessaro {
namespace {

// Sample lines by series (name and labels) and the families declared, checked against the
// exposition format on the way: every sample belongs to a family declared before it, no series
// twice, counters end in _total, and values are numbers.
struct Parsed {
    std::map<std::string, std::string> samples;
    std::map<std::string, std::string> types;
};

Parsed ParseExposition(const std::string& text) {
    Parsed p;
    std::istringstream lines(text);
    const std::regex sample(R"(^([a-z_]+)(\{([a-z]+="([^"\\\n]|\\[\\"n])*",?)*\})? ([0-9.e+-]+)$)");
    const std::regex type(R"(^# TYPE ([a-z_]+) (counter|gauge|histogram)$)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (line.rfind("# HELP ", 0) == 0)
            continue;
        if (std::regex_match(line, m, type)) {
            EXPECT_TRUE(p.types.emplace(m[1], m[2]).second) << "declared twice: " << line;
            if (m[2] == "counter") {
                EXPECT_TRUE(std::string(m[1]).ends_with("_total")) << line;
            }
            continue;
        }
        EXPECT_TRUE(std::regex_match(line, m, sample)) << "not a sample: " << line;
        const std::string name = m[1];
        const std::string family = std::regex_replace(name, std::regex("_(bucket|sum|count)$"), "");
        EXPECT_TRUE(p.types.count(name) || p.types.count(family)) << "undeclared: " << line;
        const std::string series = line.substr(0, line.rfind(' '));
        EXPECT_TRUE(p.samples.emplace(series, line.substr(line.rfind(' ') + 1)).second)
            << "twice: " << series;
    }
    return p;
}

TEST(MetricsText, EveryFigureAppearsOnceInTheExpositionFormat) {
    MetricsInput in;
    ServerStats& s = in.stats;
    s.sessions = 12;
    s.waitingByTopic = {{EncodeGbkOrEmpty("谈天说地"), 4}, {"plain", 2}};
    s.waitingOtherTopics = 5;
    s.conversations = 6;
    s.datagramsIn = 1000;
    s.droppedMalformed = 7;
    s.refusedFull = 8;
    s.matchesMade = 9;
    s.socketDrops = 18;
    s.matchDelay.Observe(3);
    s.matchDelay.Observe(1500);
    s.matchDelay.Observe(90000);
    in.httpRequests = 13;
    EXPECT_EQ(ParseExposition(FormatMetrics(in)).types.count("vessaro_cluster_joined"), 0u)
        << "a server on its own shows no cluster";
    in.cluster = {true, true, 3, 2, 14, 15, 1, "[2001:db8::1]:13366"};
    s.clusterClaimsLost = 16;
    s.clusterMessagesRefused = 17;
    Parsed p = ParseExposition(FormatMetrics(in));
    const std::map<std::string, std::string> expected = {
        {R"(vessaro_sessions{state="proven"})", "12"},
        {R"(vessaro_waiting_users{topic="谈天说地"})", "4"},
        {R"(vessaro_waiting_users{topic="plain"})", "2"},
        {R"(vessaro_waiting_users{topic="other"})", "5"},
        {"vessaro_conversations", "6"},
        {"vessaro_datagrams_received_total", "1000"},
        {R"(vessaro_dropped_datagrams_total{reason="malformed"})", "7"},
        {R"(vessaro_dropped_datagrams_total{reason="server_full"})", "8"},
        {"vessaro_matches_total", "9"},
        {"vessaro_http_requests_total", "13"},
        {"vessaro_socket_drops_total", "18"},
        {R"(vessaro_match_delay_seconds_bucket{le="0.005"})", "1"},
        {R"(vessaro_match_delay_seconds_bucket{le="1"})", "1"},
        {R"(vessaro_match_delay_seconds_bucket{le="2"})", "2"},
        {R"(vessaro_match_delay_seconds_bucket{le="+Inf"})", "3"},
        {"vessaro_match_delay_seconds_sum", "91.503"},
        {"vessaro_match_delay_seconds_count", "3"},
        {R"(vessaro_cluster_joined{node="3",address="[2001:db8::1]:13366"})", "1"},
        {"vessaro_cluster_nodes_live", "2"},
        {"vessaro_cluster_frames_refused_total", "14"},
        {"vessaro_cluster_frames_dropped_total", "15"},
        {"vessaro_cluster_rejoins_total", "1"},
        {R"(vessaro_cluster_claims_total{outcome="lost"})", "16"},
        {R"(vessaro_cluster_messages_total{direction="refused"})", "17"},
    };
    for (const auto& [series, value] : expected) {
        ASSERT_TRUE(p.samples.count(series)) << series;
        EXPECT_EQ(p.samples.at(series), value) << series;
    }
    EXPECT_EQ(p.types.at("vessaro_match_delay_seconds"), "histogram");
    EXPECT_EQ(p.types.at("vessaro_sessions"), "gauge");
}

// Users choose topic names: none may break the format, add a label or write a series twice.
TEST(MetricsText, HostileTopicNamesStayOneEscapedLabelValue) {
    MetricsInput in;
    in.stats.waitingByTopic = {
        {"a\"b", 1},      {"back\\slash", 2}, {"line\nbreak} 99\nfake_total 1", 3},
        {"other", 4},     {"\xff\xff", 5},    {"\xfe\xff", 6}, // both decode to U+FFFD pairs
        {"x\",y=\"z", 7},
    };
    in.stats.waitingOtherTopics = 10;
    Parsed p = ParseExposition(FormatMetrics(in));
    EXPECT_EQ(p.samples.at(R"(vessaro_waiting_users{topic="a\"b"})"), "1");
    EXPECT_EQ(p.samples.at(R"(vessaro_waiting_users{topic="back\\slash"})"), "2");
    EXPECT_EQ(p.samples.at(R"(vessaro_waiting_users{topic="line\nbreak} 99\nfake_total 1"})"), "3");
    EXPECT_EQ(p.samples.at(R"(vessaro_waiting_users{topic="other"})"), "14");
    EXPECT_EQ(p.samples.at(R"(vessaro_waiting_users{topic="x\",y=\"z"})"), "7");
    EXPECT_EQ(p.samples.count("fake_total"), 0u);
    std::size_t total = 0;
    for (const auto& [series, value] : p.samples) {
        if (series.rfind("vessaro_waiting_users", 0) == 0)
            total += std::stoul(value);
    }
    EXPECT_EQ(total, 38u) << "every waiting user counted once";
}

TEST(StatsSnapshot, ReadersGetFreshStatsWithoutAskingTheLoopEachTime) {
    int64_t now = 1000;
    int wakes = 0;
    StatsSnapshot* self = nullptr;
    std::vector<std::thread> loop; // the loop answers on its own thread
    StatsSnapshot snapshot(
        [&] {
            ++wakes;
            ServerStats s;
            s.sessions = std::size_t(wakes);
            loop.emplace_back([&, s] { self->Publish(s); });
        },
        [&] { return now; });
    self = &snapshot;
    std::optional<ServerStats> first = snapshot.Read(500, 1000);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->sessions, 1u);
    now += 400;
    EXPECT_EQ(snapshot.Read(500, 1000)->sessions, 1u) << "young enough: no new request";
    now += 200;
    EXPECT_EQ(snapshot.Read(500, 1000)->sessions, 2u);
    EXPECT_EQ(wakes, 2);
    for (std::thread& t : loop)
        t.join();

    snapshot.Beat();
    EXPECT_TRUE(snapshot.Alive(5000));
    now += 5001;
    EXPECT_FALSE(snapshot.Alive(5000));
}

TEST(StatsSnapshot, ALoopThatDoesNotAnswerGivesNothingAfterTheWait) {
    StatsSnapshot snapshot([] {}, [] { return int64_t(0); });
    EXPECT_FALSE(snapshot.Read(500, 20));
    EXPECT_TRUE(snapshot.Wanted());
}

} // namespace
} // namespace vessaro
