#include "CoreHarness.h"

#include <gtest/gtest.h>

#include <random>

namespace vessaro::test {
namespace {

// A server with one open conversation (a and b), one user waiting and one idle: every kind of
// state a bad datagram could disturb.
class ServerBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        for (TestClient* c : {&a, &b, &waiting, &idle})
            ASSERT_TRUE(c->Connect());
        a.Request(Profile(SEX_MALE, 30), Want());
        b.Request(Profile(SEX_FEMALE, 30), Want());
        ASSERT_TRUE(a.TakeOffer());
        ASSERT_TRUE(b.TakeOffer());
        a.Control(MSG_ACCEPT);
        b.Control(MSG_ACCEPT);
        a.Control(MSG_TALK_START_ACK);
        b.Control(MSG_TALK_START_ACK);
        waiting.Request(Profile(SEX_MALE, 30), Want(SEX_MALE, 90, 99));
        h.sent.clear();
    }

    // A message of the type as a talking client would build it: its own ids, a plausible body.
    std::vector<uint8_t> Message(int32_t type) const {
        std::vector<uint8_t> m(std::max<std::size_t>(MessageSize(type), kHeaderSize + 8), 0);
        StoreI32(m.data() + offsets::kProtocol, ProtocolOf(type));
        StoreI32(m.data() + offsets::kType, type);
        StoreI32(m.data() + offsets::kSessionId, a.session);
        StoreI32(m.data() + offsets::kConversationId, a.conversation);
        if (type == MSG_TALK_TEXT)
            StoreI32(m.data() + offsets::kTalkSubKind, TALK_TEXT);
        if (type == MSG_MATCH_REQUEST) {
            auto request = BuildMatchRequest(a.session, Profile(SEX_MALE, 30), Want());
            std::copy(request.begin(), request.end(), m.begin());
        }
        return m;
    }

    void ExpectUndisturbed(const std::string& what) {
        const ServerStats stats = h.server.Stats();
        EXPECT_EQ(stats.sessions, 4u) << what;
        EXPECT_EQ(stats.waiting, 1u) << what;
        EXPECT_EQ(stats.conversations, 1u) << what;
    }

    CoreHarness h;
    TestClient a{h, Ep(1, 1)}, b{h, Ep(2, 2)}, waiting{h, Ep(3, 3)}, idle{h, Ep(4, 4)};
};

TEST_F(ServerBadInput, ShortDatagramsOfEveryTypeAreDroppedUnanswered) {
    for (int32_t type = 0; type <= 30; ++type) {
        const std::vector<uint8_t> full = Message(type);
        const std::size_t needed = MessageSize(type) == 0 ? kHeaderSize : MessageSize(type);
        for (std::size_t length = 0; length < needed; ++length) {
            h.Deliver(a.ep, std::span<const uint8_t>(full.data(), length));
            ASSERT_TRUE(h.sent.empty()) << "type " << type << ", length " << length;
        }
    }
    ExpectUndisturbed("after short datagrams");
    EXPECT_GT(h.server.Stats().droppedMalformed, 0u);
}

// Server messages, timer ticks, client data blocks and unknown types are not the client's to
// send: whole and well addressed, they are still dropped.
TEST_F(ServerBadInput, TypesAClientDoesNotSendAreDropped) {
    const int32_t notFromClients[] = {0,
                                      MSG_CONNECT_ACK,
                                      MSG_DISCONNECT_ACK,
                                      MSG_NOTICE,
                                      MSG_SESSION_CLOSED,
                                      MSG_MATCH_REQUEST_ACK,
                                      MSG_MATCH_CANCEL_ACK,
                                      MSG_PARTNER_FOUND,
                                      MSG_REFUSE_ACK,
                                      MSG_ACCEPT_ACK,
                                      MSG_TALK_START,
                                      MSG_HANGUP_ACK,
                                      MSG_PEER_HANGUP,
                                      MSG_TALK_PROBE,
                                      MSG_TIMER,
                                      MSG_TALK_DATA,
                                      29,
                                      30,
                                      -1,
                                      1 << 30};
    for (int32_t type : notFromClients) {
        std::vector<uint8_t> m = Message(type);
        m.resize(std::max<std::size_t>(m.size(), 700));
        h.Deliver(a.ep, m);
        EXPECT_TRUE(h.sent.empty()) << "type " << type;
    }
    ExpectUndisturbed("after foreign types");
}

TEST_F(ServerBadInput, WrongIdsAreNotAnswered) {
    const int32_t talkTypes[] = {MSG_PARTNER_FOUND_ACK, MSG_REFUSE,   MSG_ACCEPT,
                                 MSG_TALK_START_ACK,    MSG_HANGUP,   MSG_PEER_HANGUP_ACK,
                                 MSG_TALK_PROBE_ACK,    MSG_TALK_TEXT};
    for (int32_t type : talkTypes) {
        std::vector<uint8_t> m = Message(type);
        StoreI32(m.data() + offsets::kConversationId, a.conversation ^ 0x5A5A);
        h.Deliver(a.ep, m);
        StoreI32(m.data() + offsets::kConversationId, 0);
        h.Deliver(idle.ep, m); // idle's endpoint, a's session: spoofed
        StoreI32(m.data() + offsets::kSessionId, 0);
        h.Deliver(a.ep, m);
        EXPECT_TRUE(h.sent.empty()) << "type " << type;
    }
    ExpectUndisturbed("after wrong ids");
}

// Random garbage, some of it carrying real session and conversation ids, from known and unknown
// endpoints: nothing crashes, no session appears out of nowhere, and whatever the server answers
// is a well-formed server message (the harness checks every one).
TEST_F(ServerBadInput, RandomDatagramsNeverBreakTheServer) {
    std::mt19937 rng(2024);
    const Endpoint endpoints[] = {a.ep, b.ep, waiting.ep, Ep(9, 9)};
    for (int i = 0; i < 20000; ++i) {
        std::vector<uint8_t> m(rng() % 700);
        for (uint8_t& byte : m)
            byte = uint8_t(rng());
        if (m.size() >= kHeaderSize && rng() % 2) {
            StoreI32(m.data() + offsets::kType, int32_t(rng() % 31));
            StoreI32(m.data() + offsets::kSessionId, rng() % 2 ? a.session : b.session);
            StoreI32(m.data() + offsets::kConversationId, a.conversation);
            if (DatagramView(m.data(), m.size()).type() == MSG_CONNECT)
                StoreI32(m.data() + offsets::kType, MSG_NOTICE_ACK);
        }
        h.Deliver(endpoints[rng() % 4], m);
        if (i % 1000 == 0)
            h.Advance(700);
    }
    EXPECT_LE(h.server.Stats().sessions, 4u);
}

} // namespace
} // namespace vessaro::test
