// The interface calls: which state allows each, what it sends, where it leads; refusals change
// and send nothing.
#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace vessaro::test {
namespace {

using Types = std::vector<int32_t>;

struct Call {
    const char* name;
    std::function<int(ClientEngine&)> invoke;
    std::set<int32_t> allowedIn;
    int32_t sends;
    int32_t next;
};

const std::vector<Call>& Calls() {
    static const std::vector<Call> calls = {
        {"Connect", [](ClientEngine& e) { return e.Connect(); }, {0}, MSG_CONNECT, 1},
        {"Disconnect",
         [](ClientEngine& e) { return e.Disconnect(); },
         {2, 3, 4, 5},
         MSG_DISCONNECT,
         12},
        {"RequestMatch",
         [](ClientEngine& e) {
             return e.RequestMatch(SampleProfile("again"), SampleRequirement("t"));
         },
         {2},
         MSG_MATCH_REQUEST,
         3},
        {"CancelMatch", [](ClientEngine& e) { return e.CancelMatch(); }, {4}, MSG_MATCH_CANCEL, 5},
        {"Accept", [](ClientEngine& e) { return e.Accept(); }, {6}, MSG_ACCEPT, 7},
        {"Refuse", [](ClientEngine& e) { return e.Refuse(); }, {6}, MSG_REFUSE, 9},
        {"HangUp", [](ClientEngine& e) { return e.HangUp(); }, {8, 10}, MSG_HANGUP, 11},
        {"SendText", [](ClientEngine& e) { return e.SendText(MakeTalkText("hi")); }, {}, 0, 0},
        {"PostText",
         [](ClientEngine& e) { return e.PostText(MakeTalkText("hi")) == 0 ? -1 : 0; },
         {},
         0,
         0},
    };
    return calls;
}

class CallInState : public ::testing::TestWithParam<int32_t> {};

TEST_P(CallInState, AllowedCallsTransitionOthersChangeAndSendNothing) {
    int32_t state = GetParam();
    for (const Call& call : Calls()) {
        SCOPED_TRACE(call.name);
        if (state == CLIENT_STATE_TALKING && std::string(call.name).ends_with("Text"))
            continue; // the text exchange has tests of its own
        if (state == CLIENT_STATE_CONNECT_SENT && std::string(call.name) == "Disconnect")
            continue; // abandons the attempt, below
        EngineHarness h;
        h.DriveTo(state);
        auto timer = h.timers.Next();
        bool allowed = call.allowedIn.count(state) > 0;
        EXPECT_EQ(call.invoke(h.engine), allowed ? 0 : -1);
        if (allowed) {
            EXPECT_EQ(h.SentTypes(), Types{call.sends});
            EXPECT_EQ(h.engine.state(), call.next);
            ASSERT_EQ(h.timers.ArmedCount(), 1u);
            EXPECT_EQ(h.timers.Next()->tag, TimerOfState(call.next).tag);
            EXPECT_EQ(h.timers.Next()->dueMs, 1000u);
        } else {
            EXPECT_TRUE(h.SentTypes().empty());
            EXPECT_EQ(h.engine.state(), state);
            EXPECT_EQ(h.timers.Next().has_value(), timer.has_value());
            if (timer) {
                EXPECT_EQ(h.timers.Next()->handle, timer->handle);
            }
        }
        EXPECT_TRUE(h.EventCodes().empty());
    }
    EngineHarness h; // there is no message for a file: it succeeds and does nothing
    h.DriveTo(state);
    EXPECT_EQ(h.engine.SendFile("a.png", reinterpret_cast<const uint8_t*>("abc"), 3), 0);
    EXPECT_TRUE(h.SentTypes().empty());
    EXPECT_EQ(h.engine.state(), state);
}

INSTANTIATE_TEST_SUITE_P(EngineEveryState, CallInState, ::testing::Range(0, 13));

TEST(EngineDisconnect, WhileConnectingAbandonsTheAttemptReportsItAndStillRefuses) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_CONNECT_SENT);
    EXPECT_EQ(h.engine.Disconnect(), -1);
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_DISCONNECTED);
    EXPECT_TRUE(h.SentTypes().empty());
    EXPECT_EQ(h.EventCodes(), Types{EVT_DISCONNECTED});
    EXPECT_EQ(h.timers.ArmedCount(), 0u);
    h.Receive(BuildConnectAck(kSession, 1)); // too late
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_DISCONNECTED);
}

// The records are kept even when the call is refused: the retries and the offer use them.
TEST(EngineRequestMatch, RefusedCallStillStoresItsRecords) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_MATCH_SENT);
    UserProfile later = SampleProfile("later");
    MatchRequirement wanted = SampleRequirement("later topic");
    EXPECT_EQ(h.engine.RequestMatch(later, wanted), -1);
    h.Advance(1000);
    auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    DatagramView copy = View(sent[0]);
    EXPECT_EQ(copy.requestProfile().nickname, std::string("later"));
    EXPECT_EQ(copy.requestRequirement().topic, std::string("later topic"));

    h.ReceiveControl(MSG_MATCH_REQUEST_ACK);
    h.Receive(BuildPartnerFound(kSession, kConversation, SampleProfile("p")));
    EXPECT_EQ(ReadPartnerBlock(h.LastBlock()).second.nickname, std::string("later"));
}

TEST(EngineRequestMatch, EveryCopyCarriesTheStoredRecordsAndTheSession) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_CONNECTED);
    UserProfile me = SampleProfile("me");
    MatchRequirement wanted = SampleRequirement("chat");
    h.engine.RequestMatch(me, wanted);
    h.Advance(2000);
    auto expected = BuildMatchRequest(kSession, me, wanted);
    ASSERT_EQ(h.Sent().size(), 3u);
    for (const auto& copy : h.Sent())
        EXPECT_TRUE(std::equal(copy.begin(), copy.end(), expected.begin(), expected.end()));
}

// Whichever way the session was lost, a new connect is granted a new session, and only that
// session is heard from then on.
TEST(EngineConnect, AgainAfterLosingTheSessionAcceptsANewSession) {
    for (int32_t lostIn : {CLIENT_STATE_CONNECTED, CLIENT_STATE_TALKING}) {
        EngineHarness h;
        h.DriveTo(lostIn);
        h.ReceiveControl(MSG_SESSION_CLOSED);
        ASSERT_EQ(h.engine.state(), CLIENT_STATE_DISCONNECTED) << lostIn;
        ASSERT_EQ(h.engine.Connect(), 0);
        h.Receive(BuildConnectAck(kSession + 5, 1));
        EXPECT_EQ(h.engine.state(), CLIENT_STATE_CONNECTED) << lostIn;
        h.ReceiveControl(MSG_SESSION_CLOSED); // of the old session: not heard
        EXPECT_EQ(h.engine.state(), CLIENT_STATE_CONNECTED) << lostIn;
        h.engine.RequestMatch(SampleProfile("me"), SampleRequirement("t"));
        EXPECT_EQ(DatagramView(h.Sent().back().data(), 36).sessionId(), kSession + 5);
    }
}

TEST(EngineCallback, MayReadTheStateWhileTheLockIsHeld) {
    EngineHarness h;
    std::vector<int32_t> seen;
    h.engine.SetEventCallback([&](int32_t, EventBlock) { seen.push_back(h.engine.state()); });
    h.DriveTo(CLIENT_STATE_MATCHING);
    EXPECT_EQ(seen, (Types{CLIENT_STATE_CONNECTED, CLIENT_STATE_MATCHING}));
}

} // namespace
} // namespace vessaro::test
