#include "CoreHarness.h"

#include <gtest/gtest.h>

namespace vessaro::test {
namespace {

class ServerConversation : public ::testing::Test {
protected:
    TestClient Connected(uint32_t host) {
        TestClient c{h, Ep(host, uint16_t(4000 + host))};
        EXPECT_TRUE(c.Connect());
        c.Inbox();
        return c;
    }

    // Two users offered to each other, both holding the conversation id.
    void Offer(TestClient& a, TestClient& b) {
        a.Request(Profile(SEX_MALE, 30, "深圳", "南山", "阿明"), Want());
        b.Request(Profile(SEX_FEMALE, 28, "广州", "天河", "小红"), Want());
        ASSERT_TRUE(a.TakeOffer());
        ASSERT_TRUE(b.TakeOffer());
    }

    void Open(TestClient& a, TestClient& b) {
        Offer(a, b);
        for (TestClient* c : {&a, &b}) {
            c->Control(MSG_PARTNER_FOUND_ACK);
            c->Control(MSG_ACCEPT);
        }
        for (TestClient* c : {&a, &b}) {
            c->Control(MSG_TALK_START_ACK);
            c->Inbox();
        }
    }

    CoreHarness h;
};

// Repeats neither queue twice nor cost the user its place in the queue.
TEST_F(ServerConversation, EveryCopyOfARequestIsAcknowledgedButQueuedOnce) {
    TestClient a = Connected(1), later = Connected(2), b = Connected(3), c = Connected(4);
    const UserProfile man = Profile(SEX_MALE, 30);
    a.Request(man, Want(SEX_FEMALE));
    later.Request(Profile(SEX_MALE, 31), Want(SEX_FEMALE));
    a.Request(man, Want(SEX_FEMALE));
    a.Request(man, Want(SEX_FEMALE));
    EXPECT_EQ(Count(a.Inbox(), MSG_MATCH_REQUEST_ACK), 3);
    EXPECT_EQ(h.server.Stats().waiting, 2u);
    b.Request(Profile(SEX_FEMALE, 30), Want());
    ASSERT_TRUE(a.TakeOffer()) << "a still waited longest";
    c.Request(Profile(SEX_FEMALE, 30), Want());
    EXPECT_TRUE(later.TakeOffer()) << "a is offered only once";
    EXPECT_EQ(h.server.Stats().waiting, 0u);
}

TEST_F(ServerConversation, CancelIsAcknowledgedAlsoWhenRepeated) {
    TestClient a = Connected(1), b = Connected(2);
    a.Request(Profile(SEX_MALE, 30), Want());
    for (int copy = 0; copy < 3; ++copy)
        a.Control(MSG_MATCH_CANCEL);
    EXPECT_EQ(Count(a.Inbox(), MSG_MATCH_CANCEL_ACK), 3);
    b.Request(Profile(SEX_FEMALE, 30), Want());
    EXPECT_FALSE(b.TakeOffer()) << "a cancelled user is not offered";
}

TEST_F(ServerConversation, OfferCarriesTheOtherProfileAndAFreshIdUntilAcknowledged) {
    TestClient a = Connected(1), b = Connected(2);
    a.Request(Profile(SEX_MALE, 30, "深圳", "南山", "阿明"), Want());
    b.Request(Profile(SEX_FEMALE, 28, "广州", "天河", "小红"), Want());
    std::optional<UserProfile> toA = a.TakeOffer(), toB = b.TakeOffer();
    ASSERT_TRUE(toA && toB);
    EXPECT_EQ(FieldText(toA->nickname), EncodeGbkOrEmpty("小红"));
    EXPECT_EQ(FieldText(toB->nickname), EncodeGbkOrEmpty("阿明"));
    EXPECT_NE(a.conversation, 0);
    EXPECT_EQ(a.conversation, b.conversation);

    a.Control(MSG_PARTNER_FOUND_ACK);
    h.Advance(3000);
    EXPECT_EQ(Count(a.Inbox(), MSG_PARTNER_FOUND), 0) << "acknowledged: not repeated";
    EXPECT_EQ(Count(b.Inbox(), MSG_PARTNER_FOUND), 3) << "repeated every second";
}

TEST_F(ServerConversation, AnOfferThatNeverArrivesEndsAfterItsCopies) {
    TestClient a = Connected(1), b = Connected(2);
    Offer(a, b);
    a.Control(MSG_PARTNER_FOUND_ACK);
    h.Advance(10000);
    EXPECT_EQ(Count(b.Inbox(), MSG_PARTNER_FOUND), TestConfig().partnerFoundCopies - 1);
    EXPECT_GE(Count(a.Inbox(), MSG_PEER_HANGUP), 1);
    EXPECT_EQ(h.server.Stats().conversations, 0u);
}

TEST_F(ServerConversation, BothAcceptingStartsTheTalk) {
    TestClient a = Connected(1), b = Connected(2);
    Offer(a, b);
    a.Control(MSG_ACCEPT);
    a.Control(MSG_ACCEPT); // a repeat is answered too
    EXPECT_EQ(Types(a.Inbox()), (std::vector<int32_t>{MSG_ACCEPT_ACK, MSG_ACCEPT_ACK}));
    b.Control(MSG_PARTNER_FOUND_ACK);
    b.Control(MSG_ACCEPT);
    EXPECT_EQ(Types(b.Inbox()), (std::vector<int32_t>{MSG_ACCEPT_ACK, MSG_TALK_START}));
    EXPECT_EQ(Types(a.Inbox()), (std::vector<int32_t>{MSG_TALK_START}));
    b.Control(MSG_TALK_START_ACK);
    h.Advance(1000);
    EXPECT_EQ(Count(a.Inbox(), MSG_TALK_START), 1) << "repeated until acknowledged";
    EXPECT_EQ(Count(b.Inbox(), MSG_TALK_START), 0);
}

struct EndingCase {
    const char* name;
    bool openFirst;
    int32_t request; // what a sends
    int32_t answer;  // what a gets back
};

// A refusal or hang-up is confirmed to its sender, every copy, and reported to the partner until
// the partner acknowledges. Afterwards both are idle again: notices resume and they can ask anew.
TEST_F(ServerConversation, RefusalAndHangUpReachThePartner) {
    const EndingCase cases[] = {
        {"refusal of an offer", false, MSG_REFUSE, MSG_REFUSE_ACK},
        {"hang-up of an offer after accepting", false, MSG_HANGUP, MSG_HANGUP_ACK},
        {"hang-up of a conversation", true, MSG_HANGUP, MSG_HANGUP_ACK},
    };
    uint32_t host = 10;
    for (const EndingCase& c : cases) {
        TestClient a = Connected(host++), b = Connected(host++);
        if (c.openFirst)
            Open(a, b);
        else
            Offer(a, b);
        a.Control(c.request);
        a.Control(c.request);
        EXPECT_EQ(Types(a.Inbox()), (std::vector<int32_t>{c.answer, c.answer})) << c.name;
        h.Advance(2000);
        EXPECT_EQ(Count(b.Inbox(), MSG_PEER_HANGUP), 3) << c.name;
        b.Control(MSG_PEER_HANGUP_ACK);
        h.Advance(10000);
        std::vector<Sent> in = b.Inbox();
        EXPECT_EQ(Count(in, MSG_PEER_HANGUP), 0) << c.name;
        EXPECT_EQ(Count(in, MSG_NOTICE), 1) << c.name;
        EXPECT_EQ(Count(a.Inbox(), MSG_NOTICE), 1) << c.name;
        a.Request(Profile(SEX_MALE, 30), Want());
        b.Request(Profile(SEX_FEMALE, 30), Want());
        EXPECT_TRUE(a.TakeOffer()) << c.name << ": matched again";
    }
}

TEST_F(ServerConversation, AnOfferNotAcceptedInTimeEndsForBoth) {
    TestClient a = Connected(1), b = Connected(2);
    Offer(a, b);
    a.Control(MSG_ACCEPT);
    b.Control(MSG_PARTNER_FOUND_ACK);
    a.Inbox();
    h.Advance(39000);
    EXPECT_EQ(Count(a.Inbox(), MSG_PEER_HANGUP), 0);
    h.Advance(1000);
    EXPECT_EQ(Count(a.Inbox(), MSG_PEER_HANGUP), 1);
    EXPECT_EQ(Count(b.Inbox(), MSG_PEER_HANGUP), 1);
    b.Control(MSG_ACCEPT); // too late: the partner has gone
    EXPECT_EQ(Types(b.Inbox()), (std::vector<int32_t>{MSG_PEER_HANGUP}));
}

TEST_F(ServerConversation, TextsAreRelayedUnderThePartnersSession) {
    TestClient a = Connected(1), b = Connected(2);
    Offer(a, b);
    const auto text = BuildTalkText(a.session, a.conversation, 77, MakeTalkText("你好"));
    a.Send(text);
    EXPECT_TRUE(b.Inbox().empty()) << "not before both have accepted";
    a.Control(MSG_ACCEPT);
    b.Control(MSG_ACCEPT);
    a.Inbox();
    b.Inbox();

    a.Send(text);
    std::vector<Sent> in = b.Inbox();
    ASSERT_EQ(in.size(), 1u);
    std::vector<uint8_t> expected(text.begin(), text.end());
    StoreI32(expected.data() + offsets::kSessionId, b.session);
    EXPECT_EQ(in[0].bytes, expected);

    b.Send(BuildTalkAck(b.session, b.conversation, 77, 0));
    in = a.Inbox();
    ASSERT_EQ(in.size(), 1u);
    EXPECT_EQ(in[0].view().sessionId(), a.session);
    EXPECT_EQ(in[0].view().talkSubKind(), TALK_ACK);
    EXPECT_EQ(in[0].view().talkSequence(), 77u);
}

TEST_F(ServerConversation, TextsThatDoNotBelongAreNotRelayed) {
    TestClient a = Connected(1), b = Connected(2);
    Open(a, b);
    auto wrongConversation = BuildTalkText(a.session, a.conversation + 1, 1, MakeTalkText("x"));
    auto badSubKind = BuildTalkText(a.session, a.conversation, 2, MakeTalkText("x"));
    StoreI32(badSubKind.data() + offsets::kTalkSubKind, 3);
    a.Send(wrongConversation);
    a.Send(badSubKind);
    a.Send(BuildTalkData(a.session, a.conversation, std::vector<uint8_t>(10, 1)));
    EXPECT_TRUE(b.Inbox().empty());
    a.Control(MSG_HANGUP);
    b.Control(MSG_PEER_HANGUP_ACK);
    b.Inbox();
    a.Send(BuildTalkText(a.session, a.conversation, 3, MakeTalkText("x")));
    EXPECT_TRUE(b.Inbox().empty()) << "not after the hang-up";
}

TEST_F(ServerConversation, ASessionIsHeldToItsTextRate) {
    TestClient a = Connected(1), b = Connected(2);
    Open(a, b);
    for (uint32_t i = 0; i < 50; ++i)
        a.Send(BuildTalkText(a.session, a.conversation, i, MakeTalkText("刷屏")));
    const int burst = int(2 * TestConfig().textsPerSecondPerSession);
    EXPECT_EQ(Count(b.Inbox(), MSG_TALK_TEXT), burst);
    EXPECT_EQ(h.server.Stats().droppedTextRate, uint64_t(50 - burst));
}

TEST_F(ServerConversation, ProbesKeepAConversationAndASilentPartnerEndsIt) {
    TestClient a = Connected(1), b = Connected(2);
    Open(a, b);
    int endedInRound = -1;
    for (int round = 1; round <= 12 && endedInRound < 0; ++round) {
        h.Advance(5000);
        if (h.server.Stats().conversations == 0) {
            endedInRound = round;
            break;
        }
        EXPECT_EQ(Count(a.Inbox(), MSG_TALK_PROBE), 1) << "round " << round;
        EXPECT_EQ(Count(b.Inbox(), MSG_TALK_PROBE), 1) << "round " << round;
        a.Control(MSG_TALK_PROBE_ACK);
        if (round <= 2) // b answers until 10 s, then falls silent
            b.Control(MSG_TALK_PROBE_ACK);
    }
    EXPECT_EQ(endedInRound, 8) << "30 s after b was last heard";
    std::vector<Sent> in = a.Inbox();
    ASSERT_EQ(Types(in), (std::vector<int32_t>{MSG_PEER_HANGUP}));
    EXPECT_EQ(in[0].view().sessionId(), a.session);
}

// While the server's own sockets drop datagrams, a partner's silence may be the server's loss:
// the conversation then lasts up to twice the talk time-out.
TEST_F(ServerConversation, OwnSocketDropsDelayTheEndOfASilentConversation) {
    TestClient a = Connected(1), b = Connected(2);
    Open(a, b);
    const int64_t lastHeard = h.now;
    int64_t endedAfter = 0;
    for (int round = 1; round <= 14 && endedAfter == 0; ++round) {
        h.Advance(5000);
        if (h.server.Stats().conversations == 0)
            endedAfter = h.now - lastHeard;
        h.server.OnReceiveDrops(uint64_t(round), h.now); // the sockets drop all along
    }
    EXPECT_EQ(endedAfter, 60000) << "silent for twice the talk time-out";
}

TEST_F(ServerConversation, ARequestCopyCrossingTheOfferKeepsIt) {
    TestClient a = Connected(1), b = Connected(2);
    const UserProfile man = Profile(SEX_MALE, 30);
    a.Request(man, Want());
    b.Request(Profile(SEX_FEMALE, 30), Want());
    a.Inbox();
    a.Request(man, Want()); // the client never saw its first acknowledgement
    EXPECT_EQ(Types(a.Inbox()), (std::vector<int32_t>{MSG_MATCH_REQUEST_ACK}));
    h.Advance(1000);
    EXPECT_TRUE(a.TakeOffer()) << "the offer goes on being repeated";
    EXPECT_EQ(h.server.Stats().conversations, 1u);
}

TEST_F(ServerConversation, ACancelCrossingAnUnseenOfferEndsIt) {
    TestClient a = Connected(1), b = Connected(2);
    a.Request(Profile(SEX_MALE, 30), Want());
    b.Request(Profile(SEX_FEMALE, 30), Want());
    a.Control(MSG_MATCH_CANCEL);
    EXPECT_EQ(Count(a.Inbox(), MSG_MATCH_CANCEL_ACK), 1);
    EXPECT_EQ(Count(b.Inbox(), MSG_PEER_HANGUP), 1);
    EXPECT_EQ(h.server.Stats().conversations, 0u);
}

TEST_F(ServerConversation, AReconnectingClientLeavesItsConversation) {
    TestClient a = Connected(1), b = Connected(2);
    Open(a, b);
    const int32_t before = a.session;
    ASSERT_TRUE(a.Connect());
    EXPECT_EQ(a.session, before);
    EXPECT_EQ(Count(b.Inbox(), MSG_PEER_HANGUP), 1);
}

TEST_F(ServerConversation, SameTopicFirstThenAnyTopicAfterTheWait) {
    TestClient music = Connected(1), film = Connected(2), film2 = Connected(3);
    const UserProfile p = Profile(SEX_MALE, 30);
    music.Request(p, Want(SEX_ANY, 0, 120, "", "", "音乐"));
    h.Advance(2000);
    film.Request(p, Want(SEX_ANY, 0, 120, "", "", "电影"));
    EXPECT_FALSE(film.TakeOffer()) << "different topics, nobody has waited";
    h.Advance(8000);
    EXPECT_FALSE(music.TakeOffer()) << "music has waited, film not yet";
    film2.Request(p, Want(SEX_ANY, 0, 120, "", "", "电影"));
    EXPECT_TRUE(film2.TakeOffer()) << "same topic at once";
    EXPECT_TRUE(film.TakeOffer());
    TestClient film3 = Connected(4);
    film3.Request(p, Want(SEX_ANY, 0, 120, "", "", "电影"));
    h.Advance(9999);
    EXPECT_FALSE(film3.TakeOffer());
    h.Advance(1);
    EXPECT_TRUE(film3.TakeOffer()) << "both have waited: any topic";
    EXPECT_TRUE(music.TakeOffer());
}

TEST_F(ServerConversation, TheLongestWaitingCompatibleUserIsOfferedFirst) {
    TestClient first = Connected(1), second = Connected(2), seeker = Connected(3);
    first.Request(Profile(SEX_MALE, 30), Want(SEX_MALE)); // wants a man: not the seeker
    second.Request(Profile(SEX_MALE, 31), Want(SEX_FEMALE));
    TestClient third = Connected(4);
    third.Request(Profile(SEX_MALE, 32), Want(SEX_FEMALE));
    seeker.Request(Profile(SEX_FEMALE, 25), Want(SEX_MALE, 30, 40));
    std::optional<UserProfile> partner = seeker.TakeOffer();
    ASSERT_TRUE(partner);
    EXPECT_EQ(partner->age, 31u);
    EXPECT_TRUE(second.TakeOffer());
    EXPECT_FALSE(first.TakeOffer());
    EXPECT_FALSE(third.TakeOffer());
}

} // namespace
} // namespace vessaro::test

namespace vessaro::test {
namespace {

// The figures of the stats: offers made and how long each user waited for one, texts passed on
// (not their acknowledgements), and who waits in which topic, busiest first.
TEST_F(ServerConversation, StatsCountMatchesWaitsTextsAndTopics) {
    TestClient a = Connected(1), b = Connected(2);
    a.Request(Profile(SEX_MALE, 30), Want());
    h.Advance(3000);
    b.Request(Profile(SEX_FEMALE, 28), Want());
    for (TestClient* c : {&a, &b}) {
        ASSERT_TRUE(c->TakeOffer());
        c->Control(MSG_ACCEPT);
        c->Control(MSG_TALK_START_ACK);
    }
    a.Send(BuildTalkText(a.session, a.conversation, 1, MakeTalkText("你好")));
    b.Send(BuildTalkAck(b.session, b.conversation, 1, 0));
    for (uint32_t host = 3; host <= 6; ++host) {
        TestClient w = Connected(host);
        w.Request(Profile(SEX_MALE, 30),
                  Want(SEX_MALE, 90, 99, "", "", host == 3 ? "旅游" : "音乐"));
    }
    const ServerStats stats = h.server.Stats();
    EXPECT_EQ(stats.matchesMade, 1u);
    EXPECT_EQ(stats.matchDelay.count, 2u);
    EXPECT_EQ(stats.matchDelay.sumMs, 3000.0) << "the first waited 3 s, the second not at all";
    EXPECT_EQ(stats.textsRelayed, 1u);
    ASSERT_EQ(stats.waitingByTopic.size(), 2u);
    EXPECT_EQ(stats.waitingByTopic[0],
              (std::pair<std::string, std::size_t>{EncodeGbkOrEmpty("音乐"), 3}));
    EXPECT_EQ(stats.waitingByTopic[1].second, 1u);
    EXPECT_EQ(stats.waitingOtherTopics, 0u);
}

} // namespace
} // namespace vessaro::test
