// The process-wide engine through the real transport, against a UDP socket playing the server:
// one whole run from connecting to leaving.
#include "ClientInterface.h"
#include "ClientStates.h"
#include "ClientTransport.h"
#include "Codec.h"
#include "FakeServer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>

namespace vessaro::test {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kSession = 0x2A;
constexpr int32_t kConversation = 0x600D;

// The events as the callback hands them on; waited for from the test thread.
class EventInbox {
public:
    void Post(int32_t code, EventBlock block) {
        {
            std::lock_guard lock(mutex_);
            events_.emplace_back(code, std::move(block));
        }
        arrived_.notify_all();
    }

    // The next event with this code (earlier ones are dropped), or nothing after the time-out.
    std::optional<EventBlock> WaitFor(int32_t code, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        std::optional<EventBlock> found;
        arrived_.wait_for(lock, timeout, [&] {
            while (!events_.empty()) {
                auto [got, block] = std::move(events_.front());
                events_.pop_front();
                if (got == code) {
                    found = std::move(block);
                    return true;
                }
            }
            return false;
        });
        return found;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::pair<int32_t, EventBlock>> events_;
};

UserProfile Named(const char* nickname) {
    UserProfile profile = EmptyProfile();
    CopyToField(profile.nickname, nickname);
    return profile;
}

TEST(EngineProcess, WholeRunAgainstARealSocket) {
    FakeServer server;
    ASSERT_NE(server.port(), 0);
    EventInbox inbox;
    // Whatever happens below, the callback must not outlive the inbox.
    struct ShutdownOnExit {
        ~ShutdownOnExit() { ClientShutdown(); }
    } shutdownOnExit;
    ClientSetEventCallback(
        [&](int32_t code, EventBlock block) { inbox.Post(code, std::move(block)); });
    ASSERT_EQ(ClientStart("127.0.0.1", server.port()), 0);

    ASSERT_EQ(ClientConnect(), 0);
    ASSERT_TRUE(server.Expect(MSG_CONNECT));
    server.Send(BuildConnectAck(kSession, 1));
    ASSERT_TRUE(inbox.WaitFor(EVT_CONNECTED));

    MatchRequirement wanted = EmptyRequirement();
    CopyToField(wanted.topic, "weather");
    ASSERT_EQ(ClientRequestMatch(Named("me"), wanted), 0);
    auto request = server.Expect(MSG_MATCH_REQUEST);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->size(), 632u);
    EXPECT_STREQ(DatagramView(request->data(), request->size()).requestRequirement().topic,
                 "weather");
    server.Send(BuildControl(MSG_MATCH_REQUEST_ACK, kSession));
    ASSERT_TRUE(inbox.WaitFor(EVT_MATCHING));

    server.Send(BuildPartnerFound(kSession, kConversation, Named("partner")));
    auto offer = inbox.WaitFor(EVT_PARTNER_FOUND);
    ASSERT_TRUE(offer);
    EXPECT_STREQ(ReadPartnerBlock(*offer).first.nickname, "partner");
    ASSERT_TRUE(server.Expect(MSG_PARTNER_FOUND_ACK));

    ASSERT_EQ(ClientAccept(), 0);
    ASSERT_TRUE(server.Expect(MSG_ACCEPT));
    server.Send(BuildControl(MSG_ACCEPT_ACK, kSession, kConversation));
    ASSERT_TRUE(inbox.WaitFor(EVT_ACCEPTED));
    server.Send(BuildControl(MSG_TALK_START, kSession, kConversation));
    ASSERT_TRUE(inbox.WaitFor(EVT_TALK_STARTED));
    ASSERT_TRUE(server.Expect(MSG_TALK_START_ACK));

    auto sending =
        std::async(std::launch::async, [] { return ClientSendText(MakeTalkText("hi")); });
    auto text = server.Expect(MSG_TALK_TEXT);
    ASSERT_TRUE(text);
    DatagramView outgoing(text->data(), text->size());
    EXPECT_EQ(outgoing.conversationId(), kConversation);
    server.Send(BuildTalkAck(kSession, kConversation, outgoing.talkSequence(), 0));
    EXPECT_EQ(sending.get(), 0);

    server.Send(BuildTalkText(kSession, kConversation, 7, MakeTalkText("hello")));
    auto incoming = inbox.WaitFor(EVT_TALK_TEXT);
    ASSERT_TRUE(incoming);
    EXPECT_STREQ(ReadTalkTextBlock(*incoming).text, "hello");
    auto ack = server.Expect(MSG_TALK_TEXT);
    ASSERT_TRUE(ack);
    EXPECT_EQ(DatagramView(ack->data(), ack->size()).talkSubKind(), TALK_ACK);
    EXPECT_EQ(DatagramView(ack->data(), ack->size()).talkSequence(), 7u);

    ASSERT_EQ(ClientHangUp(), 0);
    ASSERT_TRUE(server.Expect(MSG_HANGUP));
    server.Send(BuildControl(MSG_HANGUP_ACK, kSession, kConversation));
    ASSERT_TRUE(inbox.WaitFor(EVT_TALK_ENDED));

    ASSERT_EQ(ClientDisconnect(), 0);
    ASSERT_TRUE(server.Expect(MSG_DISCONNECT));
    server.Send(BuildControl(MSG_DISCONNECT_ACK, kSession));
    ASSERT_TRUE(inbox.WaitFor(EVT_DISCONNECTED));
    EXPECT_EQ(ClientState(), CLIENT_STATE_DISCONNECTED);

    // After shutting down nothing is reported any more, even for a datagram that would be.
    ClientShutdown();
    EXPECT_EQ(ClientConnect(), 0);
    server.Send(BuildConnectAck(kSession, 1));
    EXPECT_FALSE(inbox.WaitFor(EVT_CONNECTED, 200ms));
}

} // namespace
} // namespace vessaro::test
