// The server dies without a word and another starts on the same port. The new server answers the
// old sessions' datagrams with MSG_SESSION_CLOSED, so two auto-matching clients that were talking
// learn that the server was lost as soon as they next send (here: each types a line), end their
// conversation once, connect again by themselves and talk again. The new server answers unknown
// sessions without its usual one-second pause per address, since both clients share 127.0.0.1.
// Silent clients only notice at their keep-alive beat; that schedule, and the 15-second figure,
// are checked with many seeds on the simulation (tests/sim), where waiting costs nothing.
#include "CliEvents.h"
#include "ServerChild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(Restart, ClientsThatSpeakUpAfterARestartReconnectAndTalkAgain) {
    auto first = std::make_unique<ServerChild>();
    uint16_t port = first->port();
    ASSERT_NE(port, 0);
    std::unique_ptr<ChildProcess> clients[] = {
        first->StartClient({"--nickname", "甲", "--sex", "male", "--want-sex", "female",
                            "--auto-match", "--auto-accept"}),
        first->StartClient({"--nickname", "乙", "--sex", "female", "--want-sex", "male",
                            "--auto-match", "--auto-accept"})};
    for (auto& client : clients)
        ExpectEvent(*client, "talk_started");
    ASSERT_FALSE(HasFailure());

    first->process().Signal(SIGKILL);
    first->process().Wait();
    const Clock::time_point killed = Clock::now();
    first.reset();
    // A real restart is not instant.
    std::this_thread::sleep_for(500ms);
    ServerChild second({"--unknown-session-reply-interval", "0.1"}, port);
    ASSERT_EQ(second.port(), port);
    const double restartSeconds = SecondsSince(killed);
    EXPECT_LT(restartSeconds, 3.0) << "the restart itself took too long to test the clients";
    for (auto& client : clients)
        client->WriteLine("还在吗");

    const Clock::time_point deadline = killed + 8s;
    for (auto& client : clients) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        ExpectEvent(*client, "talk_started", std::max(left, 1ms));
    }
    const double talkingAgainSeconds = SecondsSince(killed);
    if (HasFailure()) {
        std::printf("server restarted after %.2f s; the clients were not talking again within "
                    "8 s (%.2f s)\n",
                    restartSeconds, talkingAgainSeconds);
        return;
    }
    std::printf("server restarted after %.2f s; both clients talking again %.2f s after the kill\n",
                restartSeconds, talkingAgainSeconds);

    // The lost conversation ended once for each, because the server was lost.
    for (auto& client : clients) {
        EXPECT_EQ(EventsOf(*client, "server_lost").size(), 1u);
        EXPECT_EQ(EventsOf(*client, "talk_ended").size(), 1u);
        EXPECT_TRUE(HasPrinted(*client, "reconnecting"));
    }
    // The new conversation works: a line goes across.
    clients[0]->WriteLine("又见面了");
    EXPECT_EQ(ExpectEvent(*clients[1], "talk_text")["text"], "又见面了");
    for (auto& client : clients) {
        client->WriteLine("/quit");
        EXPECT_EQ(client->Wait(15s), 0);
    }
}

} // namespace
