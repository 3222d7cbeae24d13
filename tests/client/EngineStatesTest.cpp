// The state tables: what each input does in each state, retries, keep-alive, offers, notices.
#include "EngineHarness.h"
#include "ProtocolNames.h"

#include <gtest/gtest.h>

namespace vessaro::test {
namespace {

using Types = std::vector<int32_t>;

struct MessageRow {
    int32_t state;
    int32_t type; // arrives with the session id; MSG_CONNECT_ACK grants or refuses by result
    int32_t result;
    int32_t next;
    Types sent;
    Types events;
};

void PrintTo(const MessageRow& r, std::ostream* os) {
    *os << "state " << r.state << " type " << r.type;
}

const Types kServerLost{EVT_SERVER_LOST, EVT_TALK_ENDED, EVT_DISCONNECTED};

class MessageRows : public ::testing::TestWithParam<MessageRow> {};

TEST_P(MessageRows, MoveStateAnswerReportAndKeepOneTimer) {
    const MessageRow& row = GetParam();
    EngineHarness h;
    h.DriveTo(row.state);
    auto before = h.timers.Next();
    if (row.type == MSG_CONNECT_ACK)
        h.Receive(BuildConnectAck(kSession, row.result));
    else if (row.type == MSG_PARTNER_FOUND)
        h.Receive(BuildPartnerFound(kSession, kConversation + 1, SampleProfile("p")));
    else
        h.ReceiveControl(row.type);

    EXPECT_EQ(h.engine.state(), row.next);
    EXPECT_EQ(h.SentTypes(), row.sent);
    EXPECT_EQ(h.EventCodes(), row.events);
    StateTimer expected = TimerOfState(row.next);
    if (expected.dueMs == 0) {
        EXPECT_EQ(h.timers.ArmedCount(), 0u);
    } else {
        ASSERT_EQ(h.timers.ArmedCount(), 1u);
        EXPECT_EQ(h.timers.Next()->tag, expected.tag);
        EXPECT_EQ(h.timers.Next()->dueMs, expected.dueMs);
        if (row.next == row.state) { // the running wait is not restarted
            EXPECT_EQ(h.timers.Next()->handle, before->handle);
        }
    }
}

// Names from the row (state, then what happens in it), the same from one build to the next.
std::string RowName(int32_t state, int32_t type, const char* detail = "") {
    return StateName(state) + "_" + (type ? MessageName(type) : "Silence") + detail;
}

INSTANTIATE_TEST_SUITE_P(
    EngineEveryState, MessageRows,
    ::testing::Values(
        MessageRow{0, MSG_CONNECT_ACK, 1, 0, {}, {}},
        MessageRow{1, MSG_CONNECT_ACK, 7, 2, {}, {EVT_CONNECTED}},
        MessageRow{1, MSG_CONNECT_ACK, 0, 0, {}, {EVT_CONNECT_FAILED}},
        MessageRow{2, MSG_SESSION_CLOSED, 0, 0, {}, {EVT_DISCONNECTED}},
        MessageRow{2, MSG_PARTNER_FOUND, 0, 2, {}, {}},
        MessageRow{3, MSG_MATCH_REQUEST_ACK, 0, 4, {}, {EVT_MATCHING}},
        MessageRow{3, MSG_SESSION_CLOSED, 0, 0, {}, {EVT_DISCONNECTED}},
        MessageRow{3, MSG_PARTNER_FOUND, 0, 3, {}, {}},
        MessageRow{4, MSG_SESSION_CLOSED, 0, 0, {}, {EVT_DISCONNECTED}},
        MessageRow{4, MSG_MATCH_REQUEST_ACK, 0, 4, {}, {}},
        MessageRow{4, MSG_PARTNER_FOUND, 0, 6, {MSG_PARTNER_FOUND_ACK}, {EVT_PARTNER_FOUND}},
        MessageRow{5, MSG_SESSION_CLOSED, 0, 0, {}, {EVT_DISCONNECTED}},
        MessageRow{5, MSG_MATCH_CANCEL_ACK, 0, 2, {}, {EVT_MATCH_CANCELLED}},
        MessageRow{5, MSG_PARTNER_FOUND, 0, 5, {}, {}},
        MessageRow{6, MSG_PARTNER_FOUND, 0, 6, {MSG_PARTNER_FOUND_ACK}, {}},
        MessageRow{6, MSG_PEER_HANGUP, 0, 2, {MSG_PEER_HANGUP_ACK}, {EVT_TALK_ENDED}},
        MessageRow{7, MSG_ACCEPT_ACK, 0, 8, {}, {EVT_ACCEPTED}},
        MessageRow{7, MSG_PEER_HANGUP, 0, 2, {MSG_PEER_HANGUP_ACK}, {EVT_TALK_ENDED}},
        MessageRow{8, MSG_TALK_START, 0, 10, {MSG_TALK_START_ACK}, {EVT_TALK_STARTED}},
        MessageRow{8, MSG_PEER_HANGUP, 0, 2, {MSG_PEER_HANGUP_ACK}, {EVT_TALK_ENDED}},
        MessageRow{9, MSG_REFUSE_ACK, 0, 2, {}, {EVT_TALK_ENDED}},
        MessageRow{9, MSG_PEER_HANGUP, 0, 9, {}, {}},
        MessageRow{10, MSG_TALK_START, 0, 10, {MSG_TALK_START_ACK}, {}},
        MessageRow{10, MSG_TALK_PROBE, 0, 10, {MSG_TALK_PROBE_ACK}, {}},
        MessageRow{10, MSG_PEER_HANGUP, 0, 2, {MSG_PEER_HANGUP_ACK}, {EVT_TALK_ENDED}},
        MessageRow{11, MSG_HANGUP_ACK, 0, 2, {}, {EVT_TALK_ENDED}},
        MessageRow{11, MSG_PEER_HANGUP, 0, 11, {}, {}},
        // The server lost the session during an offer or conversation: both end at once.
        MessageRow{6, MSG_SESSION_CLOSED, 0, 0, {}, kServerLost},
        MessageRow{7, MSG_SESSION_CLOSED, 0, 0, {}, kServerLost},
        MessageRow{8, MSG_SESSION_CLOSED, 0, 0, {}, kServerLost},
        MessageRow{9, MSG_SESSION_CLOSED, 0, 0, {}, kServerLost},
        MessageRow{10, MSG_SESSION_CLOSED, 0, 0, {}, kServerLost},
        MessageRow{11, MSG_SESSION_CLOSED, 0, 0, {}, kServerLost},
        MessageRow{12, MSG_DISCONNECT_ACK, 0, 0, {}, {EVT_DISCONNECTED}},
        MessageRow{12, MSG_SESSION_CLOSED, 0, 0, {}, {EVT_DISCONNECTED}}),
    [](const auto& info) {
        const MessageRow& r = info.param;
        return RowName(r.state, r.type, r.type == MSG_CONNECT_ACK && !r.result ? "Refused" : "");
    });

// A request state sends its request on entry and twice more, 1 s apart, then gives up.
struct RetryRow {
    int32_t state;
    int32_t request;
    int32_t next;
    Types events;
};

class RetryRows : public ::testing::TestWithParam<RetryRow> {};

TEST_P(RetryRows, ThreeCopiesOneSecondApartThenGiveUp) {
    const RetryRow& row = GetParam();
    EngineHarness h;
    EXPECT_EQ(h.DriveTo(row.state), row.request); // the first copy, on entry
    EXPECT_EQ(h.timers.Next()->dueMs, 1000u);
    for (int copy = 2; copy <= 3; ++copy) {
        h.Advance(999);
        EXPECT_EQ(h.SentTypes().size(), std::size_t(copy - 2));
        h.Advance(1);
        EXPECT_EQ(h.SentTypes(), Types(copy - 1, row.request));
        EXPECT_EQ(h.engine.state(), row.state);
    }
    auto copies = h.Sent();
    h.Advance(1000);
    EXPECT_EQ(h.engine.state(), row.next);
    EXPECT_EQ(h.EventCodes(), row.events);
    EXPECT_EQ(h.Sent(), copies); // nothing more is sent on giving up
    StateTimer after = TimerOfState(row.next);
    EXPECT_EQ(h.timers.ArmedCount(), after.dueMs ? 1u : 0u);
    if (after.dueMs) {
        EXPECT_EQ(h.timers.Next()->tag, after.tag);
    }
}

INSTANTIATE_TEST_SUITE_P(EngineEveryRequest, RetryRows,
                         ::testing::Values(RetryRow{1, MSG_CONNECT, 0, {EVT_CONNECT_FAILED}},
                                           RetryRow{3, MSG_MATCH_REQUEST, 2, {EVT_MATCH_FAILED}},
                                           RetryRow{5, MSG_MATCH_CANCEL, 2, {EVT_MATCH_CANCELLED}},
                                           RetryRow{7, MSG_ACCEPT, 2, {EVT_TALK_ENDED}},
                                           RetryRow{9, MSG_REFUSE, 2, {EVT_TALK_ENDED}},
                                           RetryRow{11, MSG_HANGUP, 2, {EVT_TALK_ENDED}},
                                           RetryRow{12, MSG_DISCONNECT, 0, {EVT_DISCONNECTED}}),
                         [](const auto& info) {
                             return RowName(info.param.state, info.param.request, "Unanswered");
                         });

// Keep-alive: five 5 s ticks without a sign of life end the session (2, 4) or the conversation
// (10, where only a probe counts); a sign of life after four ticks starts the count again.
struct KeepAliveRow {
    int32_t state;
    int32_t signOfLife;
    int32_t next;
    Types sent;
    Types events;
    int32_t query;          // asks the server whether it still knows the session
    Types queriesAfterTick; // how many, after each of the first four silent ticks
};

class KeepAliveRows : public ::testing::TestWithParam<KeepAliveRow> {};

TEST_P(KeepAliveRows, FiveSilentTicksEndItAndASignOfLifeRestartsTheCount) {
    const KeepAliveRow& row = GetParam();
    EngineHarness h;
    h.DriveTo(row.state);
    h.Advance(4 * 5000);
    h.ReceiveControl(row.signOfLife);
    h.Advance(4 * 5000);
    EXPECT_EQ(h.engine.state(), row.state);
    EXPECT_TRUE(h.EventCodes().empty());
    h.Forget();
    h.Advance(5000);
    EXPECT_EQ(h.engine.state(), row.next);
    EXPECT_EQ(h.SentTypes(), row.sent);
    EXPECT_EQ(h.EventCodes(), row.events);
}

// A silent server is asked, on each later silent tick, whether it still knows the session; a
// restarted one answers that it does not, and the session ends then instead of after five ticks.
TEST_P(KeepAliveRows, LaterSilentTicksAskTheServerAndItsAnswerEndsTheSession) {
    const KeepAliveRow& row = GetParam();
    EngineHarness h;
    h.DriveTo(row.state);
    for (int32_t queries : row.queriesAfterTick) {
        h.Advance(5000);
        EXPECT_EQ(h.SentTypes(), Types(queries, row.query));
    }
    for (const auto& query : h.Sent())
        EXPECT_EQ(View(query).sessionId(), kSession);
    h.Forget();
    h.ReceiveControl(MSG_SESSION_CLOSED);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_DISCONNECTED);
    EXPECT_EQ(h.EventCodes().back(), EVT_DISCONNECTED);
}

constexpr int32_t kAsk = MSG_TALK_PROBE_ACK;

INSTANTIATE_TEST_SUITE_P(
    EngineEveryKeepAlive, KeepAliveRows,
    ::testing::Values(
        KeepAliveRow{
            2, MSG_MATCH_CANCEL_ACK, 0, {}, {EVT_DISCONNECTED}, MSG_NOTICE_ACK, {0, 0, 1, 2}},
        KeepAliveRow{4, MSG_REFUSE_ACK, 0, {}, {EVT_DISCONNECTED}, MSG_NOTICE_ACK, {0, 0, 1, 2}},
        // In a conversation, every second from the second silent tick on.
        KeepAliveRow{10,
                     MSG_TALK_PROBE,
                     11,
                     {kAsk, kAsk, kAsk, kAsk, MSG_HANGUP},
                     {EVT_TALK_ENDED},
                     kAsk,
                     {0, 1, 6, 11}}),
    [](const auto& info) { return RowName(info.param.state, 0); });

TEST(EngineConversation, OnlyAProbeKeepsTheConversationAlive) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    h.Advance(4 * 5000);
    h.ReceiveControl(MSG_TALK_START); // of the session, but not a probe
    h.Advance(5000);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_HANGUP_SENT);
}

// A conversation that times out is reported ended once, when its hang-up starts, whether the
// hang-up is then confirmed, given up, or cut short by the server losing the session.
struct TimeOutRow {
    int32_t state;
    uint32_t timeOutMs;
    const char* console;
    int32_t afterwards; // what ends the hang-up: MSG_HANGUP_ACK, MSG_SESSION_CLOSED, 0 = give up
    Types events;
};

class TimeOutRows : public ::testing::TestWithParam<TimeOutRow> {};

TEST_P(TimeOutRows, ReportTheEndOnce) {
    const TimeOutRow& row = GetParam();
    EngineHarness h;
    h.DriveTo(row.state);
    ConsoleCapture console;
    h.Advance(row.timeOutMs);
    EXPECT_EQ(console.Text(), row.console);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_HANGUP_SENT);
    EXPECT_EQ(h.EventCodes(), Types{EVT_TALK_ENDED});
    if (row.afterwards == 0)
        h.Advance(3000);
    else
        h.ReceiveControl(row.afterwards);
    EXPECT_EQ(h.EventCodes(), row.events);
}

const char* const kHangUpLine = "change state to -> CLIENT_STATE_HANGUP_SENT\n";

INSTANTIATE_TEST_SUITE_P(
    EngineConversationTimeOuts, TimeOutRows,
    ::testing::Values(TimeOutRow{8, 35000, "", MSG_HANGUP_ACK, {EVT_TALK_ENDED}},
                      TimeOutRow{8, 35000, "", 0, {EVT_TALK_ENDED}},
                      TimeOutRow{10, 25000, kHangUpLine, MSG_HANGUP_ACK, {EVT_TALK_ENDED}},
                      TimeOutRow{10, 25000, kHangUpLine, 0, {EVT_TALK_ENDED}},
                      TimeOutRow{10,
                                 25000,
                                 kHangUpLine,
                                 MSG_SESSION_CLOSED,
                                 {EVT_TALK_ENDED, EVT_SERVER_LOST, EVT_DISCONNECTED}}),
    [](const auto& info) {
        return RowName(info.param.state, info.param.afterwards, "AfterTimeOut");
    });

// After an end reported early, the next offer reports its own end again.
TEST(EngineConversation, EveryOfferReportsItsOwnEnd) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    h.Advance(25000); // probe time-out: ended, hanging up
    h.ReceiveControl(MSG_HANGUP_ACK);
    h.engine.RequestMatch(SampleProfile("me"), SampleRequirement("t"));
    h.ReceiveControl(MSG_MATCH_REQUEST_ACK);
    h.Receive(BuildPartnerFound(kSession, kConversation + 1, SampleProfile("p")));
    h.ReceiveControl(MSG_PEER_HANGUP);
    EXPECT_EQ(h.EventCodes(),
              (Types{EVT_TALK_ENDED, EVT_MATCHING, EVT_PARTNER_FOUND, EVT_TALK_ENDED}));
}

TEST(EngineConversation, UnconfirmedHangUpWritesItsLinesAndEnds) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_HANGUP_SENT);
    ConsoleCapture console;
    h.Advance(3000);
    EXPECT_EQ(console.Text(), "HANGUP SEND : msg - timeout\nHANGUP SEND : msg - timeout\n"
                              "HANGUP SEND : msg - timeout\n"
                              "change state to -> CLIENT_STATE_CONNECTED\n");
}

// The 35 s waits: the user's answer to an offer (no event until the hang-up ends) and the
// partner's (the end is reported at once, see TimeOutRows).
TEST(EngineConversation, OfferWaitsThirtyFiveSecondsForTheUser) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_PARTNER_FOUND);
    h.Advance(34999);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_PARTNER_FOUND);
    h.Advance(1);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_HANGUP_SENT);
    EXPECT_EQ(h.SentTypes(), Types{MSG_HANGUP});
    EXPECT_TRUE(h.EventCodes().empty());
    h.ReceiveControl(MSG_HANGUP_ACK);
    EXPECT_EQ(h.EventCodes(), Types{EVT_TALK_ENDED});
}

TEST(EngineConversation, AcceptedOfferWaitsThirtyFiveSecondsForThePartner) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_ACCEPTED);
    h.Advance(34999);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_ACCEPTED);
    h.Advance(1);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_HANGUP_SENT);
    h.Advance(3000);
    EXPECT_EQ(h.SentTypes(), Types(3, MSG_HANGUP));
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_CONNECTED);
}

TEST(EngineConversation, RepeatedOfferReplacesTheConversationId) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_PARTNER_FOUND);
    h.Receive(BuildPartnerFound(kSession, 4242, SampleProfile("p")));
    h.engine.Accept();
    auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 2u);
    DatagramView accept = View(sent[1]);
    EXPECT_EQ(accept.type(), MSG_ACCEPT);
    EXPECT_EQ(accept.conversationId(), 4242);
}

TEST(EngineMessages, EverySentMessageCarriesTheSessionAndConversationOfItsProtocol) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    h.ReceiveControl(MSG_TALK_PROBE);
    h.Receive(BuildNotice(kSession, "x", 1));
    h.engine.HangUp();
    h.Advance(1000);
    h.engine.Disconnect(); // refused in 11: nothing
    ASSERT_EQ(h.Sent().size(), 4u);
    for (const auto& bytes : h.Sent()) {
        DatagramView m(bytes.data(), bytes.size());
        EXPECT_EQ(bytes.size(), MessageSize(m.type()));
        EXPECT_EQ(m.protocol(), ProtocolOf(m.type()));
        EXPECT_EQ(m.sessionId(), kSession);
        EXPECT_EQ(m.conversationId(), m.protocol() == PROTO_SESSION ? 0 : kConversation);
    }
}

TEST(EngineSessionFilter, OtherSessionsAreDroppedAndDoNotCountAsLife) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_CONNECTED);
    h.ReceiveControl(MSG_SESSION_CLOSED, kSession + 1);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_CONNECTED);
    h.Advance(4 * 5000);
    h.Forget(); // the silent ticks' questions to the server
    h.Receive(BuildNotice(kSession + 1, "other", 0));
    EXPECT_TRUE(h.SentTypes().empty());
    h.Advance(5000);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_DISCONNECTED);
    EXPECT_EQ(h.EventCodes(), Types{EVT_DISCONNECTED});
}

// A tick that was already queued when its timer was cancelled must not pass for the time-out of
// the state that came next.
TEST(EngineTicks, StaleTickIsDroppedAndLeavesTheArmedTimer) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_MATCHING);
    h.Receive(BuildPartnerFound(kSession, kConversation, SampleProfile("p")));
    h.Forget();
    auto offer = h.timers.Next();
    h.Tick(TimerOfState(CLIENT_STATE_MATCHING).tag);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_PARTNER_FOUND);
    EXPECT_TRUE(h.SentTypes().empty());
    ASSERT_EQ(h.timers.ArmedCount(), 1u);
    EXPECT_EQ(h.timers.Next()->handle, offer->handle);
    EXPECT_EQ(h.timers.Next()->remainingMs, 35000u);
}

TEST(EngineTicks, TickOfTheArmedTimerCancelsItBeforeTheStateActs) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_MATCH_SENT);
    auto first = h.timers.Next();
    h.Tick(first->tag); // queued before the service counted it as fired
    EXPECT_FALSE(h.timers.IsArmed(first->handle));
    EXPECT_EQ(h.timers.ArmedCount(), 1u);
    EXPECT_EQ(h.SentTypes(), Types{MSG_MATCH_REQUEST});
}

// Notices are answered and handed on in states 2 to 11 without touching state, timer or retry
// count; states 0, 1 and 12 neither answer nor report them.
class NoticeInState : public ::testing::TestWithParam<int32_t> {};

TEST_P(NoticeInState, AnsweredAndReportedOnlyWithASession) {
    int32_t state = GetParam();
    bool handled = state >= 2 && state <= 11;
    EngineHarness h;
    h.DriveTo(state);
    auto timer = h.timers.Next();
    h.Receive(BuildNotice(state == 1 ? 0 : kSession, "http://example/notice", -7));
    EXPECT_EQ(h.engine.state(), state);
    EXPECT_EQ(h.SentTypes(), handled ? Types{MSG_NOTICE_ACK} : Types{});
    EXPECT_EQ(h.EventCodes(), handled ? Types{EVT_NOTICE} : Types{});
    if (timer) {
        EXPECT_EQ(h.timers.Next()->handle, timer->handle);
    }
    if (handled) {
        EventBlock block = h.LastBlock();
        EXPECT_EQ(block.size(), kNoticeBlockSize);
        EXPECT_EQ(ReadNoticeBlock(block).value, -7);
        EXPECT_EQ(ReadNoticeBlock(block).text, "http://example/notice");
    }
}

INSTANTIATE_TEST_SUITE_P(EngineEveryState, NoticeInState, ::testing::Range(0, 13),
                         [](const auto& info) { return StateName(info.param); });

TEST(EngineNotices, DoNotResetTheRetryCount) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_MATCH_SENT);
    h.Advance(1000);
    h.Receive(BuildNotice(kSession, "n", 0));
    h.Advance(2000);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_CONNECTED);
}

TEST(EngineNotices, LongestTextKeepsItsTerminatorInTheBlock) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_CONNECTED);
    auto notice = BuildNotice(kSession, std::string(300, 'a'), 0);
    h.Receive(notice);
    EventBlock block = h.LastBlock();
    EXPECT_EQ(ReadNoticeBlock(block).text.size(), 255u);
    EXPECT_EQ(block.back(), 0);
}

TEST(EnginePartnerBlock, HoldsThePartnerAsReceivedThenTheUsersOwnProfile) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_MATCHING);
    UserProfile partner = SampleProfile("partner");
    partner.sex = 3; // passed on unvalidated
    auto found = BuildPartnerFound(kSession, kConversation, partner);
    h.Receive(found);
    EventBlock block = h.LastBlock();
    ASSERT_EQ(block.size(), kPartnerBlockSize);
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + kUserProfileSize,
                           found.begin() + offsets::kPartnerProfile));
    uint8_t own[kUserProfileSize];
    StoreProfile(own, SampleProfile("me"));
    EXPECT_TRUE(std::equal(block.begin() + kUserProfileSize, block.end(), own));
}

} // namespace
} // namespace vessaro::test
