#include "CliEvents.h"
#include "ServerChild.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>

using namespace vessaro::test;
using nlohmann::json;

namespace {

void ExpectLineDelivered(ChildProcess& from, ChildProcess& to, const std::string& text) {
    from.WriteLine(text);
    EXPECT_EQ(ExpectEvent(from, "sent")["text"], text);
    EXPECT_EQ(ExpectEvent(to, "talk_text")["text"], text);
}

// Two people find each other through a real server by what they want, talk, one hangs up, they
// meet again, and everybody leaves in order. A third, whose wishes nobody meets, keeps waiting.
TEST(ChatEndToEnd, TwoUsersMatchTalkHangUpMatchAgainAndQuit) {
    ServerChild server;
    ASSERT_NE(server.port(), 0);

    auto lonely =
        server.StartClient({"--nickname", "老王", "--sex", "male", "--age", "40", "--want-sex",
                            "female", "--min-age", "18", "--max-age", "19"});
    ExpectEvent(*lonely, "connected");
    lonely->WriteLine("/match");
    ExpectEvent(*lonely, "matching");

    auto ming = server.StartClient({"--nickname", "小明", "--sex", "male", "--age", "30",
                                    "--want-sex", "female", "--min-age", "20", "--max-age", "35"});
    auto hong = server.StartClient({"--nickname", "小红", "--sex", "female", "--age", "25",
                                    "--want-sex", "male", "--city", "广州"});
    ExpectEvent(*ming, "connected");
    ExpectEvent(*hong, "connected");
    ming->WriteLine("/match");
    hong->WriteLine("/match");

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        json offerToMing = ExpectEvent(*ming, "partner_found");
        json offerToHong = ExpectEvent(*hong, "partner_found");
        EXPECT_EQ(offerToMing["partner"]["nickname"], "小红");
        EXPECT_EQ(offerToMing["partner"]["city"], "广州");
        EXPECT_EQ(offerToHong["partner"]["nickname"], "小明");
        EXPECT_EQ(offerToHong["me"]["nickname"], "小红");

        ming->WriteLine("/accept");
        hong->WriteLine("/accept");
        ExpectEvent(*ming, "talk_started");
        ExpectEvent(*hong, "talk_started");

        ExpectLineDelivered(*ming, *hong, "你好，我是小明。");
        ExpectLineDelivered(*hong, *ming, "你好！很高兴认识你 😀");
        ExpectLineDelivered(*ming, *hong, "see http://example.org/a?b=1&c=2 <b>not bold</b>");
        ExpectLineDelivered(*hong, *ming, "再见");

        ChildProcess& leaver = round == 0 ? *ming : *hong;
        ChildProcess& left = round == 0 ? *hong : *ming;
        leaver.WriteLine("/hangup");
        ExpectEvent(leaver, "talk_ended");
        ExpectEvent(left, "talk_ended");
        if (round == 0) {
            ming->WriteLine("/match");
            hong->WriteLine("/match");
        }
    }

    EXPECT_FALSE(HasPrinted(*lonely, "partner_found"));
    for (auto* client : {ming.get(), hong.get(), lonely.get()})
        client->WriteLine("/quit");
    for (auto* client : {ming.get(), hong.get(), lonely.get()}) {
        ExpectEvent(*client, "disconnected");
        EXPECT_EQ(client->Wait(), 0);
    }
    EXPECT_FALSE(HasPrinted(*ming, "send_failed"));
    EXPECT_FALSE(HasPrinted(*hong, "send_failed"));
}

// Stopping the server tells everybody: a partner in conversation sees the conversation end, and
// every client sees the session closed.
TEST(ChatEndToEnd, ServerShutdownTellsEveryClient) {
    ServerChild server;
    ASSERT_NE(server.port(), 0);
    auto a = server.StartClient({"--sex", "male", "--auto-accept"});
    auto b = server.StartClient({"--sex", "female", "--auto-accept"});
    for (auto* client : {a.get(), b.get()}) {
        ExpectEvent(*client, "connected");
        client->WriteLine("/match");
    }
    ExpectEvent(*a, "talk_started");
    ExpectEvent(*b, "talk_started");

    server.process().Signal(SIGTERM);
    EXPECT_EQ(server.process().Wait(std::chrono::seconds(10)), 0);
    for (auto* client : {a.get(), b.get()}) {
        ExpectEvent(*client, "talk_ended");
        ExpectEvent(*client, "disconnected");
        EXPECT_EQ(client->Wait(std::chrono::seconds(30)), 1); // lost the server, not left it
    }
}

} // namespace
