// Two vessaro-cli clients talk through impairment proxies (drop, duplicate, delay, reorder, with a
// seed) to a real vessaro-server, 40 lines each way at once: the real processes and sockets under
// loss. The same scenario runs with many seeds and 200 lines on the simulation (tests/sim).
#include "CliEvents.h"
#include "ImpairmentProxy.h"
#include "ServerChild.h"
#include "TalkingPair.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

constexpr int kLines = 40;

std::string LineText(char who, int i) {
    return std::string(1, who) + "-" + std::to_string(1000 + i) + " 第" + std::to_string(i) + "行";
}

// What one direction of a conversation came to.
struct Outcome {
    std::vector<std::string> confirmed;
    std::set<std::string> failed;
    std::vector<std::string> received; // by the partner, in order of display
};

// The typed lines are confirmed or failed one by one in the order typed; the partner shows each
// line at most once, in the order typed; every confirmed line is shown, and every line shown was
// either confirmed or reported failed to its sender (never shown without its sender knowing).
void CheckDirection(const Outcome& o, char who) {
    SCOPED_TRACE(std::string("lines from ") + who);
    EXPECT_EQ(o.confirmed.size() + o.failed.size(), std::size_t(kLines));
    std::map<std::string, int> index;
    for (int i = 0; i < kLines; ++i)
        index[LineText(who, i)] = i;
    int last = -1;
    std::set<std::string> shown;
    for (const std::string& text : o.received) {
        ASSERT_TRUE(index.count(text)) << "unknown line shown: " << text;
        EXPECT_TRUE(shown.insert(text).second) << "shown twice: " << text;
        EXPECT_GT(index[text], last) << "out of order: " << text;
        last = std::max(last, index[text]);
        bool confirmed =
            std::find(o.confirmed.begin(), o.confirmed.end(), text) != o.confirmed.end();
        EXPECT_TRUE(confirmed || o.failed.count(text)) << "shown but neither confirmed nor failed";
    }
    for (const std::string& text : o.confirmed)
        EXPECT_TRUE(shown.count(text)) << "confirmed but never shown: " << text;
}

struct Exchange {
    Outcome fromA, fromB;
};

// Both type all their lines at once (each client sends the next only when the last one is
// confirmed or given up), then the outcome is read from both.
Exchange Talk(TalkingPair& pair) {
    for (int i = 0; i < kLines; ++i) {
        pair.a->WriteLine(LineText('a', i));
        pair.b->WriteLine(LineText('b', i));
    }
    for (ChildProcess* client : {pair.a.get(), pair.b.get()})
        EXPECT_TRUE(ReadUntilCount(*client, {"sent", "send_failed"}, kLines, 45s));
    // A line is shown before its confirmation can come back; the last failures may still be
    // in flight, so allow their copies a moment to arrive.
    for (ChildProcess* client : {pair.a.get(), pair.b.get()})
        client->WaitFor("\"no such event\"", 300ms);

    Exchange result;
    auto collect = [](ChildProcess& sender, ChildProcess& receiver, Outcome& o) {
        for (const auto& e : EventsOf(sender, "sent"))
            o.confirmed.push_back(e["text"]);
        for (const auto& e : EventsOf(sender, "send_failed"))
            o.failed.insert(e["text"].get<std::string>());
        for (const auto& e : EventsOf(receiver, "talk_text"))
            o.received.push_back(e["text"]);
    };
    collect(*pair.a, *pair.b, result.fromA);
    collect(*pair.b, *pair.a, result.fromB);
    return result;
}

// Texts may come faster than any typist here: the server's per-session text limit and its
// per-address limit (both clients share 127.0.0.1) are raised out of the way.
const std::vector<std::string> kServerOptions = {"--text-rate", "10000", "--address-rate",
                                                 "100000"};

TEST(LossyNetwork, FivePercentLossEitherConfirmsOrReportsEveryLineAndTheConversationSurvives) {
    ServerChild server(kServerOptions);
    ASSERT_NE(server.port(), 0);
    Impairment impair{.drop = 0.05, .duplicate = 0.05, .maxDelayMs = 3};
    ImpairmentProxy proxyA(server.port(), impair, impair, 33);
    ImpairmentProxy proxyB(server.port(), impair, impair, 44);
    TalkingPair pair = StartTalkingPair(server, proxyA.port(), proxyB.port());
    ASSERT_FALSE(HasFatalFailure());

    Exchange result = Talk(pair);
    CheckDirection(result.fromA, 'a');
    CheckDirection(result.fromB, 'b');
    uint64_t dropped = proxyA.toServer().dropped + proxyA.toClient().dropped +
                       proxyB.toServer().dropped + proxyB.toClient().dropped;
    EXPECT_GT(dropped, 4u);
    for (ChildProcess* client : {pair.a.get(), pair.b.get()}) {
        EXPECT_FALSE(HasPrinted(*client, "talk_ended"));
        EXPECT_FALSE(HasPrinted(*client, "disconnected"));
    }
    std::printf("impairment with 5%% loss: %zu + %zu lines confirmed, %zu + %zu reported failed, "
                "%llu datagrams dropped\n",
                result.fromA.confirmed.size(), result.fromB.confirmed.size(),
                result.fromA.failed.size(), result.fromB.failed.size(),
                static_cast<unsigned long long>(dropped));
}

} // namespace
