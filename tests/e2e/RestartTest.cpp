// The server dies without a word and another starts on the same port: the clients find out from
// the silence as they always do (the conversation ends after the missing probes, an idle session is
// lost), a line sent meanwhile is reported failed, nothing hangs, and newcomers use the new server.
#include "CliEvents.h"
#include "ServerChild.h"
#include "TalkingPair.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

TEST(Restart, ClientsNoticeTheLostServerAndNothingHangs) {
    auto first = std::make_unique<ServerChild>();
    uint16_t port = first->port();
    ASSERT_NE(port, 0);
    TalkingPair pair = StartTalkingPair(*first, port, port);
    ASSERT_FALSE(HasFatalFailure());
    auto idle = first->StartClient({"--sex", "male"});
    ExpectEvent(*idle, "connected");

    first->process().Signal(SIGKILL);
    first->process().Wait();
    ServerChild second({}, port);
    ASSERT_EQ(second.port(), port);

    pair.a->WriteLine("anyone there?");
    EXPECT_EQ(ExpectEvent(*pair.a, "send_failed", 10s)["text"], "anyone there?");

    // Silence: no probes end the conversations, no notices lose the idle session (20 to 25 s).
    ExpectEvent(*idle, "disconnected", 40s);
    EXPECT_EQ(idle->Wait(10s), 1) << "lost the server, not left it";
    for (ChildProcess* client : {pair.a.get(), pair.b.get()})
        ExpectEvent(*client, "talk_ended", 40s);

    // Leaving now ends in time even though the new server does not know these sessions.
    for (ChildProcess* client : {pair.a.get(), pair.b.get()}) {
        client->WriteLine("/quit");
        EXPECT_TRUE(client->Wait(15s).has_value()) << "the client hangs";
    }

    auto newcomer = second.StartClient({"--sex", "female"});
    ExpectEvent(*newcomer, "connected");
}

} // namespace
