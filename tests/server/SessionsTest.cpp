#include "CoreHarness.h"

#include <gtest/gtest.h>

namespace vessaro::test {
namespace {

TEST(ServerSessions, FirstNoticeCarriesTheInfoPageAndTheSession) {
    CoreHarness h;
    TestClient a{h, Ep(1, 5000)};
    a.Send(BuildControl(MSG_CONNECT));
    std::vector<Sent> in = a.Inbox();
    ASSERT_EQ(Types(in), (std::vector<int32_t>{MSG_CONNECT_ACK, MSG_NOTICE}));
    EXPECT_EQ(in[1].view().sessionId(), in[0].view().sessionId());
    EXPECT_EQ(in[1].view().noticeText(), "http://site.test/match/adv.html");
}

struct RefusalCase {
    const char* name;
    std::size_t maxSessions;
    std::size_t perAddress;
    Endpoint last;
    bool granted;
};

TEST(ServerSessions, ConnectIsRefusedWhenFullOrTooManyFromOneAddress) {
    const Endpoint loopback2{0x7F000001, 2};
    const RefusalCase cases[] = {
        {"server full", 2, 10, Ep(9, 1), false},
        {"address at its limit, loopback included", 10, 2, loopback2, false},
        {"another address is fine", 10, 2, Ep(9, 1), true},
    };
    for (const RefusalCase& c : cases) {
        ServerConfig config = TestConfig();
        config.maxSessions = c.maxSessions;
        config.maxSessionsPerAddress = c.perAddress;
        CoreHarness h(config);
        TestClient first{h, Endpoint{0x7F000001, 1}};
        TestClient second{h, Endpoint{0x7F000001, 3}};
        ASSERT_TRUE(first.Connect()) << c.name;
        ASSERT_TRUE(second.Connect()) << c.name;
        TestClient last{h, c.last};
        EXPECT_EQ(last.Connect(), c.granted) << c.name;
        const ServerStats stats = h.server.Stats();
        EXPECT_EQ(stats.refusedFull + stats.refusedPerAddress, c.granted ? 0u : 1u) << c.name;
        if (c.granted)
            continue;
        // Refused with result 0; a place freed by a disconnect can be taken.
        first.Control(MSG_DISCONNECT);
        EXPECT_TRUE(last.Connect()) << c.name;
    }
}

TEST(ServerSessions, DisconnectIsAnsweredAlsoWhenRepeated) {
    CoreHarness h;
    TestClient a{h, Ep(1, 5000)};
    ASSERT_TRUE(a.Connect());
    a.Inbox();
    for (int copy = 0; copy < 3; ++copy) {
        a.Control(MSG_DISCONNECT);
        std::vector<Sent> in = a.Inbox();
        ASSERT_EQ(Types(in), (std::vector<int32_t>{MSG_DISCONNECT_ACK})) << "copy " << copy;
        EXPECT_EQ(in[0].view().sessionId(), a.session);
    }
    EXPECT_EQ(h.server.Stats().sessions, 0u);
    // Not for a stranger, and not once the closed session is forgotten: they only learn that
    // the session does not exist.
    TestClient stranger{h, Ep(2, 5000), a.session};
    stranger.Control(MSG_DISCONNECT);
    EXPECT_EQ(Types(stranger.Inbox()), (std::vector<int32_t>{MSG_SESSION_CLOSED}));
    h.Advance(TestConfig().closedMemoryMs + 2000);
    a.Control(MSG_DISCONNECT);
    EXPECT_EQ(Types(a.Inbox()), (std::vector<int32_t>{MSG_SESSION_CLOSED}));
}

// Every message of a session from an address or port other than the session's own is dropped:
// it neither answers nor changes anything.
TEST(ServerSessions, DatagramsFromAnotherEndpointAreDropped) {
    CoreHarness h;
    TestClient a{h, Ep(1, 5000)};
    ASSERT_TRUE(a.Connect());
    a.Inbox();
    const Endpoint impostors[] = {Ep(1, 5001), Ep(2, 5000)};
    for (const Endpoint& e : impostors) {
        TestClient spoof{h, e, a.session};
        spoof.Request(Profile(SEX_MALE, 30), Want());
        spoof.Control(MSG_MATCH_CANCEL);
        spoof.Control(MSG_NOTICE_ACK);
        spoof.Control(MSG_DISCONNECT);
        EXPECT_TRUE(spoof.Inbox().empty());
    }
    EXPECT_TRUE(a.Inbox().empty());
    const ServerStats stats = h.server.Stats();
    EXPECT_EQ(stats.sessions, 1u);
    EXPECT_EQ(stats.waiting, 0u);
    EXPECT_EQ(stats.droppedWrongSender, 8u);
    // An unknown id changes nothing either; its sender only learns that the session is closed.
    TestClient ghost{h, Ep(3, 1), 12345};
    ghost.Control(MSG_NOTICE_ACK);
    std::vector<Sent> in = ghost.Inbox();
    ASSERT_EQ(Types(in), (std::vector<int32_t>{MSG_SESSION_CLOSED}));
    EXPECT_EQ(in[0].view().sessionId(), 12345);
    EXPECT_EQ(h.server.Stats().droppedUnknownSession, 1u);
}

TEST(ServerSessions, IdleAndWaitingSessionsGetNoticesAndLiveWhileTheyAnswer) {
    CoreHarness h;
    TestClient idle{h, Ep(1, 1)}, waiting{h, Ep(2, 2)};
    ASSERT_TRUE(idle.Connect());
    ASSERT_TRUE(waiting.Connect());
    waiting.Request(Profile(SEX_MALE, 30), Want(SEX_FEMALE));
    idle.Inbox();
    waiting.Inbox();
    for (int period = 0; period < 12; ++period) { // two minutes
        h.Advance(10000);
        for (TestClient* c : {&idle, &waiting}) {
            std::vector<Sent> in = c->Inbox();
            ASSERT_EQ(Count(in, MSG_NOTICE), 1) << "period " << period;
            EXPECT_EQ(in[0].view().sessionId(), c->session);
            c->Control(MSG_NOTICE_ACK);
        }
    }
    EXPECT_EQ(h.server.Stats().sessions, 2u);
    EXPECT_EQ(h.server.Stats().waiting, 1u);
}

TEST(ServerSessions, ASilentSessionIsClosedAfterAMinute) {
    CoreHarness h;
    TestClient a{h, Ep(1, 1)};
    ASSERT_TRUE(a.Connect());
    a.Request(Profile(SEX_MALE, 30), Want(SEX_FEMALE));
    h.Advance(59000);
    EXPECT_EQ(Count(a.Inbox(), MSG_SESSION_CLOSED), 0);
    h.Advance(1000);
    std::vector<Sent> in = a.Inbox();
    ASSERT_EQ(Count(in, MSG_SESSION_CLOSED), 1);
    EXPECT_EQ(in.back().view().sessionId(), a.session);
    EXPECT_EQ(h.server.Stats().sessions, 0u);
    EXPECT_EQ(h.server.Stats().waiting, 0u);
    h.Advance(30000);
    EXPECT_TRUE(a.Inbox().empty()) << "nothing more for a closed session";
}

// The loop reports the drop count of the server's own sockets (time after the client's last
// datagram, count): while it grows, the silence may be the server's own loss, and the session is
// closed a time-out after the last drop, but never later than twice the time-out.
TEST(ServerSessions, OwnSocketDropsDelayTheCloseForSilenceAtMostToTwiceTheTimeOut) {
    struct Case {
        const char* what;
        std::vector<std::pair<int64_t, uint64_t>> reports;
        int64_t closedAt;
    };
    const std::vector<Case> cases = {
        {"no drops", {{30000, 0}}, 60000},
        {"a drop half-way", {{30000, 4}}, 90000},
        {"the same count again is no new drop", {{30000, 4}, {70000, 4}}, 90000},
        {"drops all along", {{20000, 1}, {50000, 2}, {80000, 3}, {110000, 4}}, 120000},
    };
    for (const Case& c : cases) {
        CoreHarness h;
        TestClient a{h, Ep(1, 1)};
        ASSERT_TRUE(a.Connect());
        int64_t at = 0;
        for (const auto& [time, total] : c.reports) {
            h.Advance(time - at);
            at = time;
            h.server.OnReceiveDrops(total, h.now);
        }
        h.Advance(c.closedAt - 1 - at);
        EXPECT_EQ(Count(a.Inbox(), MSG_SESSION_CLOSED), 0) << c.what;
        h.Advance(1);
        EXPECT_EQ(Count(a.Inbox(), MSG_SESSION_CLOSED), 1) << c.what;
        EXPECT_EQ(h.server.Stats().socketDrops, c.reports.back().second) << c.what;
    }
}

TEST(ServerSessions, OneAddressIsHeldToItsDatagramRate) {
    ServerConfig config = TestConfig();
    config.datagramsPerSecondPerAddress = 10; // a burst of 20
    CoreHarness h(config);
    TestClient a{h, Ep(1, 1)};
    ASSERT_TRUE(a.Connect()); // 2 tokens: the connect and the notice's acknowledgement
    a.Inbox();
    for (int i = 0; i < 30; ++i)
        a.Control(MSG_MATCH_CANCEL);
    EXPECT_EQ(Count(a.Inbox(), MSG_MATCH_CANCEL_ACK), 18);
    EXPECT_EQ(h.server.Stats().droppedAddressRate, 12u);
    TestClient neighbour{h, Ep(2, 1)};
    EXPECT_TRUE(neighbour.Connect()) << "other addresses are not affected";
    h.Advance(1000);
    a.Inbox();
    for (int i = 0; i < 30; ++i)
        a.Control(MSG_MATCH_CANCEL);
    EXPECT_EQ(Count(a.Inbox(), MSG_MATCH_CANCEL_ACK), 10) << "refilled at the rate";
}

// New settings reach the sessions already open, which all stay; only the unproven table's size
// waits for a restart.
TEST(ServerSessions, ReloadAppliesLiveSettingsAndNamesTheRest) {
    CoreHarness h;
    TestClient a{h, Ep(1, 1)}, b{h, Ep(2, 2)};
    ASSERT_TRUE(a.Connect());
    ASSERT_TRUE(b.Connect());
    ServerConfig config = TestConfig();
    config.maxSessions = 2;
    config.noticeUrl = "http://other.test/";
    EXPECT_TRUE(h.server.Reload(config).empty());
    TestClient c{h, Ep(3, 3)};
    EXPECT_FALSE(c.Connect()) << "the lower limit applies at once";
    EXPECT_EQ(h.server.Stats().sessions, 2u);
    a.Inbox();
    h.Advance(config.noticeIntervalMs);
    std::vector<Sent> in = a.Inbox();
    ASSERT_EQ(Count(in, MSG_NOTICE), 1);
    EXPECT_EQ(in.back().view().noticeText(), "http://other.test/");

    config.maxUnproven = 7;
    config.maxSessions = 3;
    EXPECT_EQ(h.server.Reload(config), (std::vector<std::string>{"maxUnproven"}));
    EXPECT_TRUE(c.Connect()) << "what can change live still does";
}

TEST(ServerSessions, ShutdownTellsPartnersAndEverySession) {
    CoreHarness h;
    TestClient a{h, Ep(1, 1)}, b{h, Ep(2, 2)}, c{h, Ep(3, 3)};
    for (TestClient* x : {&a, &b, &c})
        ASSERT_TRUE(x->Connect());
    a.Request(Profile(SEX_MALE, 30), Want());
    b.Request(Profile(SEX_FEMALE, 30), Want());
    for (TestClient* x : {&a, &b, &c})
        x->Inbox();
    h.server.Shutdown();
    for (TestClient* x : {&a, &b}) {
        std::vector<Sent> in = x->Inbox();
        ASSERT_EQ(Types(in), (std::vector<int32_t>{MSG_PEER_HANGUP, MSG_PEER_HANGUP,
                                                   MSG_SESSION_CLOSED, MSG_SESSION_CLOSED}));
        EXPECT_EQ(in[0].view().sessionId(), x->session);
    }
    EXPECT_EQ(Types(c.Inbox()), (std::vector<int32_t>{MSG_SESSION_CLOSED, MSG_SESSION_CLOSED}));
    EXPECT_EQ(h.server.Stats().sessions, 0u);
    h.Advance(120000);
    EXPECT_TRUE(h.sent.empty());
}

} // namespace
} // namespace vessaro::test
