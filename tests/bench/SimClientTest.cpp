#include "SimClient.h"
#include "WireTransform.h"

#include <array>
#include <gtest/gtest.h>

namespace vessaro::bench {
namespace {

// A socket in the server's place: it reads what the client sends, complemented back.
class BenchSimClientTest : public ::testing::Test {
protected:
    BenchSimClientTest() : client_(UdpSocket(), server_.local()) {}

    std::vector<uint8_t> Sent() {
        EXPECT_TRUE(server_.WaitReadable(5000));
        std::array<uint8_t, 4096> buffer;
        std::optional<std::size_t> n = server_.Receive(buffer);
        if (!n)
            return {};
        CommInvertBytes(buffer.data(), buffer.data(), int(*n));
        return {buffer.begin(), buffer.begin() + long(*n)};
    }
    // The view stays valid until the next call.
    DatagramView SentView() {
        last_ = Sent();
        return DatagramView(last_);
    }
    bool NothingSent() { return !server_.WaitReadable(50); }

    template <std::size_t N>
    void Receive(const DatagramBytes<N>& m) {
        client_.Handle(m);
    }
    void ToTalking() {
        client_.Connect();
        Sent();
        Receive(BuildConnectAck(5, 1));
        client_.RequestMatch(EmptyProfile(), EmptyRequirement());
        Sent();
        Receive(BuildPartnerFound(5, 77, EmptyProfile()));
        Sent();
        Sent();
        Receive(BuildControl(MSG_TALK_START, 5, 77));
        Sent();
    }

    UdpSocket server_;
    SimClient client_;
    std::vector<uint8_t> last_;
};

TEST_F(BenchSimClientTest, ConnectsAndTakesTheGrantedSession) {
    client_.Connect();
    DatagramView connect = SentView();
    EXPECT_EQ(connect.type(), MSG_CONNECT);
    Receive(BuildConnectAck(1234, 1));
    EXPECT_EQ(client_.phase(), SimClient::Phase::Idle);
    EXPECT_EQ(client_.sessionId(), 1234);
}

TEST_F(BenchSimClientTest, ARefusedConnectClosesIt) {
    client_.Connect();
    Sent();
    Receive(BuildConnectAck(0, 0));
    EXPECT_EQ(client_.phase(), SimClient::Phase::Closed);
}

TEST_F(BenchSimClientTest, AnswersNoticesAndProbesWithItsSession) {
    ToTalking();
    Receive(BuildNotice(5, "http://x/", 0));
    DatagramView notice = SentView();
    EXPECT_EQ(notice.type(), MSG_NOTICE_ACK);
    EXPECT_EQ(notice.sessionId(), 5);
    Receive(BuildControl(MSG_TALK_PROBE, 5, 77));
    DatagramView probe = SentView();
    EXPECT_EQ(probe.type(), MSG_TALK_PROBE_ACK);
    EXPECT_EQ(probe.conversationId(), 77);
}

TEST_F(BenchSimClientTest, AcceptsTheOfferedPartnerAndStartsTalking) {
    client_.Connect();
    Sent();
    Receive(BuildConnectAck(5, 1));
    client_.RequestMatch(EmptyProfile(), EmptyRequirement());
    EXPECT_EQ(SentView().type(), MSG_MATCH_REQUEST);
    Receive(BuildPartnerFound(5, 77, EmptyProfile()));
    EXPECT_EQ(SentView().type(), MSG_PARTNER_FOUND_ACK);
    DatagramView accept = SentView();
    EXPECT_EQ(accept.type(), MSG_ACCEPT);
    EXPECT_EQ(accept.conversationId(), 77);
    EXPECT_EQ(client_.partnersFound, 1u);
    Receive(BuildControl(MSG_TALK_START, 5, 77));
    EXPECT_EQ(SentView().type(), MSG_TALK_START_ACK);
    EXPECT_EQ(client_.phase(), SimClient::Phase::Talking);
}

TEST_F(BenchSimClientTest, AcknowledgesEveryTextWithItsSequence) {
    ToTalking();
    Receive(BuildTalkText(5, 77, 42, MakeTalkText("hi", 3)));
    DatagramView ack = SentView();
    EXPECT_EQ(ack.type(), MSG_TALK_TEXT);
    EXPECT_EQ(ack.talkSubKind(), TALK_ACK);
    EXPECT_EQ(ack.talkSequence(), 42u);
    EXPECT_EQ(ack.talkPackType(), 3);
    EXPECT_EQ(client_.textsReceived, 1u);
}

TEST_F(BenchSimClientTest, OnlyTheAckOfTheLastTextEndsItsWait) {
    ToTalking();
    client_.keepRtt = true;
    client_.SendText();
    DatagramView text = SentView();
    ASSERT_EQ(text.talkSubKind(), TALK_TEXT);
    EXPECT_TRUE(client_.awaitingAck());
    Receive(BuildTalkAck(5, 77, text.talkSequence() + 1, 0)); // not ours
    EXPECT_TRUE(client_.awaitingAck());
    EXPECT_TRUE(client_.rttMicros.empty());
    Receive(BuildTalkAck(5, 77, text.talkSequence(), 0));
    EXPECT_FALSE(client_.awaitingAck());
    ASSERT_EQ(client_.rttMicros.size(), 1u);
    EXPECT_GE(client_.rttMicros[0], 0.0);
    EXPECT_EQ(client_.acksReceived, 2u);
}

TEST_F(BenchSimClientTest, IgnoresShortDatagrams) {
    client_.Connect();
    Sent();
    DatagramBytes<40> ack = BuildConnectAck(9, 1);
    client_.Handle(std::span<const uint8_t>(ack.data(), 20));
    EXPECT_EQ(client_.phase(), SimClient::Phase::Connecting);
    EXPECT_TRUE(NothingSent());
}

// A session the server closes is replaced by a new one; a client that was waiting for a partner
// asks again under the new session, one that had its offer or was idle stays idle.
TEST_F(BenchSimClientTest, ConnectsAgainWhenTheServerClosesItsSession) {
    enum { Idle, Matching, Offered };
    for (int phase : {Idle, Matching, Offered}) {
        SimClient client(UdpSocket(), server_.local());
        client.Connect();
        Sent();
        client.Handle(BuildConnectAck(5, 1));
        if (phase >= Matching) {
            client.RequestMatch(EmptyProfile(), EmptyRequirement());
            Sent();
        }
        if (phase == Offered) {
            client.Handle(BuildPartnerFound(5, 77, EmptyProfile()));
            Sent();
            Sent();
        }
        client.Handle(BuildControl(MSG_SESSION_CLOSED, 5));
        EXPECT_EQ(SentView().type(), MSG_CONNECT) << phase;
        EXPECT_EQ(client.reconnects, 1u) << phase;
        client.Handle(BuildConnectAck(6, 1));
        if (phase == Matching) {
            DatagramView request = SentView();
            EXPECT_EQ(request.type(), MSG_MATCH_REQUEST);
            EXPECT_EQ(request.sessionId(), 6);
            EXPECT_EQ(client.phase(), SimClient::Phase::Matching);
        } else {
            EXPECT_TRUE(NothingSent()) << phase;
            EXPECT_EQ(client.phase(), SimClient::Phase::Idle) << phase;
        }
    }
}

// Only the closing of the session it holds counts (not one for an earlier session, nor one while
// it connects); Repeat sends again only what awaits an answer.
TEST_F(BenchSimClientTest, IgnoresOtherSessionsClosingAndRepeatsWhatAwaitsAnAnswer) {
    client_.Repeat();
    client_.Connect();
    Sent();
    client_.Handle(BuildControl(MSG_SESSION_CLOSED, 5));
    client_.Repeat();
    EXPECT_EQ(SentView().type(), MSG_CONNECT);
    Receive(BuildConnectAck(5, 1));
    client_.Handle(BuildControl(MSG_SESSION_CLOSED, 4));
    client_.Repeat();
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(client_.reconnects, 0u);
    client_.RequestMatch(EmptyProfile(), EmptyRequirement());
    Sent();
    client_.Repeat();
    DatagramView request = SentView();
    EXPECT_EQ(request.type(), MSG_MATCH_REQUEST);
    EXPECT_EQ(request.sessionId(), 5);
}

} // namespace
} // namespace vessaro::bench
