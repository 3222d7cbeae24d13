#include "ServerProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>

using namespace vessaro::test;
using nlohmann::json;

namespace {

json Expect(ChildProcess& client, const std::string& event) {
    auto line = client.WaitFor("\"event\":\"" + event + "\"", std::chrono::seconds(15));
    if (!line) {
        ADD_FAILURE() << "no \"" << event << "\" event";
        return json::object();
    }
    return json::parse(*line);
}

bool Printed(const ChildProcess& client, const std::string& event) {
    for (const std::string& line : client.lines())
        if (line.find("\"event\":\"" + event + "\"") != std::string::npos)
            return true;
    return false;
}

void ExpectLineDelivered(ChildProcess& from, ChildProcess& to, const std::string& text) {
    from.WriteLine(text);
    EXPECT_EQ(Expect(from, "sent")["text"], text);
    EXPECT_EQ(Expect(to, "talk_text")["text"], text);
}

// Two people find each other through a real server by what they want, talk, one hangs up, they
// meet again, and everybody leaves in order. A third, whose wishes nobody meets, keeps waiting.
TEST(ChatEndToEnd, TwoUsersMatchTalkHangUpMatchAgainAndQuit) {
    ServerProcess server;
    ASSERT_NE(server.port(), 0);

    auto lonely =
        server.StartClient({"--nickname", "老王", "--sex", "male", "--age", "40", "--want-sex",
                            "female", "--min-age", "18", "--max-age", "19"});
    Expect(*lonely, "connected");
    lonely->WriteLine("/match");
    Expect(*lonely, "matching");

    auto ming = server.StartClient({"--nickname", "小明", "--sex", "male", "--age", "30",
                                    "--want-sex", "female", "--min-age", "20", "--max-age", "35"});
    auto hong = server.StartClient({"--nickname", "小红", "--sex", "female", "--age", "25",
                                    "--want-sex", "male", "--city", "广州"});
    Expect(*ming, "connected");
    Expect(*hong, "connected");
    ming->WriteLine("/match");
    hong->WriteLine("/match");

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        json offerToMing = Expect(*ming, "partner_found");
        json offerToHong = Expect(*hong, "partner_found");
        EXPECT_EQ(offerToMing["partner"]["nickname"], "小红");
        EXPECT_EQ(offerToMing["partner"]["city"], "广州");
        EXPECT_EQ(offerToHong["partner"]["nickname"], "小明");
        EXPECT_EQ(offerToHong["me"]["nickname"], "小红");

        ming->WriteLine("/accept");
        hong->WriteLine("/accept");
        Expect(*ming, "talk_started");
        Expect(*hong, "talk_started");

        ExpectLineDelivered(*ming, *hong, "你好，我是小明。");
        ExpectLineDelivered(*hong, *ming, "你好！很高兴认识你 😀");
        ExpectLineDelivered(*ming, *hong, "see http://example.org/a?b=1&c=2 <b>not bold</b>");
        ExpectLineDelivered(*hong, *ming, "再见");

        ChildProcess& leaver = round == 0 ? *ming : *hong;
        ChildProcess& left = round == 0 ? *hong : *ming;
        leaver.WriteLine("/hangup");
        Expect(leaver, "talk_ended");
        Expect(left, "talk_ended");
        if (round == 0) {
            ming->WriteLine("/match");
            hong->WriteLine("/match");
        }
    }

    EXPECT_FALSE(Printed(*lonely, "partner_found"));
    for (auto* client : {ming.get(), hong.get(), lonely.get()})
        client->WriteLine("/quit");
    for (auto* client : {ming.get(), hong.get(), lonely.get()}) {
        Expect(*client, "disconnected");
        EXPECT_EQ(client->Wait(), 0);
    }
    EXPECT_FALSE(Printed(*ming, "send_failed"));
    EXPECT_FALSE(Printed(*hong, "send_failed"));
}

// Stopping the server tells everybody: a partner in conversation sees the conversation end, and
// every client sees the session closed.
TEST(ChatEndToEnd, ServerShutdownTellsEveryClient) {
    ServerProcess server;
    ASSERT_NE(server.port(), 0);
    auto a = server.StartClient({"--sex", "male", "--auto-accept"});
    auto b = server.StartClient({"--sex", "female", "--auto-accept"});
    for (auto* client : {a.get(), b.get()}) {
        Expect(*client, "connected");
        client->WriteLine("/match");
    }
    Expect(*a, "talk_started");
    Expect(*b, "talk_started");

    server.process().Signal(SIGTERM);
    EXPECT_EQ(server.process().Wait(std::chrono::seconds(10)), 0);
    for (auto* client : {a.get(), b.get()}) {
        Expect(*client, "talk_ended");
        Expect(*client, "disconnected");
        EXPECT_EQ(client->Wait(std::chrono::seconds(30)), 1); // lost the server, not left it
    }
}

} // namespace
