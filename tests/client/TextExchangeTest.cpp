// Lines of text: queued, copied until acknowledged, settled in order; received with repeat
// suppression; blocks of data.
#include "EngineHarness.h"

#include "ByteOrder.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>
#include <thread>

namespace vessaro::test {
namespace {

using namespace std::chrono_literals;
using Types = std::vector<int32_t>;

using Outcomes = std::vector<std::pair<int32_t, uint32_t>>;

void ReceiveText(EngineHarness& h, uint32_t sequence, const char* text = "line") {
    h.Receive(BuildTalkText(kSession, kConversation, sequence, MakeTalkText(text, 3)));
}

void Acknowledge(EngineHarness& h, uint32_t sequence) {
    h.Receive(BuildTalkAck(kSession, kConversation, sequence, 0));
}

// The texts sent so far, as (sequence, text).
std::vector<std::pair<uint32_t, std::string>> SentTexts(const EngineHarness& h) {
    std::vector<std::pair<uint32_t, std::string>> texts;
    for (const auto& bytes : h.Sent()) {
        DatagramView m = View(bytes);
        if (m.type() == MSG_TALK_TEXT && m.talkSubKind() == TALK_TEXT)
            texts.emplace_back(m.talkSequence(), m.talkText().text);
    }
    return texts;
}

TEST(EnginePostText, AcknowledgedTextIsConfirmedAndItsCopiesStop) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    const TalkText text = MakeTalkText("你好", 2);
    uint32_t id = h.engine.PostText(text);
    ASSERT_GT(id, 0u);
    auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);          // at once, not at the first wait
    uint32_t sequence = kClockStart + 1; // sequences start at the clock's count
    auto expected = BuildTalkText(kSession, kConversation, sequence, text);
    EXPECT_EQ(sent[0], std::vector<uint8_t>(expected.begin(), expected.end()));
    Acknowledge(h, sequence);
    h.Advance(3000);
    EXPECT_EQ(h.TextOutcomes(), (Outcomes{{EVT_TEXT_CONFIRMED, id}}));
    EXPECT_EQ(SentTexts(h).size(), 1u);
    Acknowledge(h, sequence); // a repeated acknowledgement settles nothing twice
    EXPECT_EQ(h.TextOutcomes().size(), 1u);
}

// An unanswered text: three identical copies 500 ms apart, then it fails and the conversation
// goes on. Each row: time passed since the previous row, copies sent and outcomes so far.
TEST(EnginePostText, UnansweredTextIsCopiedThreeTimesThenFails) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    ConsoleCapture console;
    uint32_t id = h.engine.PostText(MakeTalkText("lost"));
    struct Step {
        uint32_t advanceMs;
        std::size_t copies;
        bool failed;
    };
    for (Step step :
         {Step{0, 1, false}, Step{499, 1, false}, Step{1, 2, false}, Step{499, 2, false},
          Step{1, 3, false}, Step{499, 3, false}, Step{1, 3, true}, Step{2000, 3, true}}) {
        h.Advance(step.advanceMs);
        SCOPED_TRACE(h.timers.Elapsed());
        auto texts = SentTexts(h);
        ASSERT_EQ(texts.size(), step.copies);
        EXPECT_EQ(texts.back(), texts.front());
        EXPECT_EQ(h.TextOutcomes(), (step.failed ? Outcomes{{EVT_TEXT_FAILED, id}} : Outcomes{}));
    }
    EXPECT_EQ(console.Text(), "Talk failed ----------\n");
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_TALKING);
}

TEST(EnginePostText, QueuedTextsGoOutInOrderOneOnTheWireAtATime) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    uint32_t a = h.engine.PostText(MakeTalkText("a"));
    uint32_t b = h.engine.PostText(MakeTalkText("b"));
    uint32_t c = h.engine.PostText(MakeTalkText("c"));
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    using Texts = std::vector<std::pair<uint32_t, std::string>>;
    const uint32_t s = kClockStart;
    EXPECT_EQ(SentTexts(h), (Texts{{s + 1, "a"}}));
    uint32_t waitOfA = h.timers.Armed().front().tag;
    Acknowledge(h, s + 1);
    EXPECT_EQ(SentTexts(h), (Texts{{s + 1, "a"}, {s + 2, "b"}}));
    h.Tick(waitOfA); // queued just before a's wait was cancelled: not b's time-out
    EXPECT_EQ(SentTexts(h).size(), 2u);
    h.Advance(1500); // b fails after its three copies; c goes at once
    EXPECT_EQ(SentTexts(h).back(), (std::pair<uint32_t, std::string>{s + 3, "c"}));
    EXPECT_EQ(SentTexts(h).size(), 5u);
    Acknowledge(h, s + 3);
    EXPECT_EQ(h.TextOutcomes(),
              (Outcomes{{EVT_TEXT_CONFIRMED, a}, {EVT_TEXT_FAILED, b}, {EVT_TEXT_CONFIRMED, c}}));
}

// Only the acknowledgement of the sequence on the wire confirms: not an earlier text's arriving
// late, not one from the future, not one while nothing is on the wire.
TEST(EnginePostText, AcknowledgementOfAnotherSequenceConfirmsNothing) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    const uint32_t first = kClockStart + 1;
    h.engine.PostText(MakeTalkText("first"));
    h.Advance(1500);
    Acknowledge(h, first); // too late: nothing on the wire
    uint32_t second = h.engine.PostText(MakeTalkText("second"));
    for (uint32_t other : {first, first + 2, 0u})
        Acknowledge(h, other);
    ASSERT_EQ(h.TextOutcomes().size(), 1u); // only the first one's failure
    Acknowledge(h, first + 1);
    EXPECT_EQ(h.TextOutcomes().back(), (std::pair<int32_t, uint32_t>{EVT_TEXT_CONFIRMED, second}));
}

// Every way out of the conversation stops the copies at once and fails the texts not yet
// confirmed, in order, before the end of the conversation is reported.
TEST(EnginePostText, LeavingTheConversationFailsPendingTextsBeforeItEnds) {
    struct Way {
        const char* name;
        std::function<void(EngineHarness&)> leave;
    };
    const Way ways[] = {
        {"HangUp",
         [](EngineHarness& h) {
             h.engine.HangUp();
             h.ReceiveControl(MSG_HANGUP_ACK);
         }},
        {"PeerHangUp", [](EngineHarness& h) { h.ReceiveControl(MSG_PEER_HANGUP); }},
        {"ServerLost", [](EngineHarness& h) { h.ReceiveControl(MSG_SESSION_CLOSED); }},
        // Keep-alive ticks without a probe, fed directly so that the texts' waits do not run out.
        {"ProbeTimeout",
         [](EngineHarness& h) {
             for (int i = 0; i < 100 && h.engine.state() == CLIENT_STATE_TALKING; ++i)
                 h.Tick(TimerOfState(CLIENT_STATE_TALKING).tag);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        EngineHarness h;
        h.DriveTo(CLIENT_STATE_TALKING);
        uint32_t a = h.engine.PostText(MakeTalkText("a"));
        uint32_t b = h.engine.PostText(MakeTalkText("b"));
        way.leave(h);
        ASSERT_NE(h.engine.state(), CLIENT_STATE_TALKING);
        h.Advance(5000);
        EXPECT_EQ(SentTexts(h).size(), 1u);
        Outcomes outcomes = h.TextOutcomes();
        ASSERT_GE(outcomes.size(), 3u);
        EXPECT_EQ(Outcomes(outcomes.begin(), outcomes.begin() + 3),
                  (Outcomes{{EVT_TEXT_FAILED, a}, {EVT_TEXT_FAILED, b}, {EVT_TALK_ENDED, 0}}));
    }
}

TEST(EnginePostText, FullQueueRefusesFurtherTexts) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    uint32_t last = 0;
    for (std::size_t i = 0; i <= ClientEngine::kMaxWaitingTexts; ++i) { // one on the wire
        uint32_t id = h.engine.PostText(MakeTalkText("x"));
        ASSERT_GT(id, last) << i;
        last = id;
    }
    EXPECT_EQ(h.engine.PostText(MakeTalkText("one too many")), 0u);
    Acknowledge(h, kClockStart + 1); // the first is settled: room for one more
    EXPECT_GT(h.engine.PostText(MakeTalkText("room again")), last);
}

// The blocking send on a thread of its own, settled from the test's thread as the dispatcher
// would: confirmed, failed after its copies, or released at shutdown.
TEST(EngineSendText, BlockingSendReturnsTheOutcomeOfItsText) {
    struct Case {
        const char* name;
        std::function<void(EngineHarness&)> settle;
        int result;
    };
    const Case cases[] = {
        {"Confirmed", [](EngineHarness& h) { Acknowledge(h, kClockStart + 1); }, 0},
        {"Failed", [](EngineHarness& h) { h.Advance(1500); }, -1},
        {"Released", [](EngineHarness& h) { h.engine.ReleaseTextWaits(); }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h;
        h.DriveTo(CLIENT_STATE_TALKING);
        auto sending =
            std::async(std::launch::async, [&h] { return h.engine.SendText(MakeTalkText("hi")); });
        for (int i = 0; i < 5000 && SentTexts(h).empty(); ++i)
            std::this_thread::sleep_for(1ms);
        ASSERT_EQ(SentTexts(h).size(), 1u);
        c.settle(h);
        EXPECT_EQ(sending.get(), c.result);
    }
}

TEST(EngineReceiveText, NewTextIsAcknowledgedAndDelivered) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    ConsoleCapture console;
    ReceiveText(h, 77, "喂");
    auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    DatagramView ack = View(sent[0]);
    EXPECT_EQ(ack.talkSubKind(), TALK_ACK);
    EXPECT_EQ(ack.talkSequence(), 77u);
    EXPECT_EQ(ack.talkPackType(), 3);
    EXPECT_EQ(h.EventCodes(), Types{EVT_TALK_TEXT});
    TalkText delivered = ReadTalkTextBlock(h.LastBlock());
    EXPECT_EQ(delivered.packType, 3);
    EXPECT_STREQ(delivered.text, "喂");
    EXPECT_EQ(console.Text(), "data  text : pack type = 3\n");
}

// Sequences received in turn, and which of them reach the user.
struct RepeatCase {
    const char* name;
    std::vector<uint32_t> sequences;
    std::vector<bool> delivered;
};

class RepeatSuppression : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatSuppression, EveryCopyIsAcknowledgedOnlyNewTextsAreDelivered) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    for (std::size_t i = 0; i < GetParam().sequences.size(); ++i) {
        h.Forget();
        ReceiveText(h, GetParam().sequences[i]);
        EXPECT_EQ(h.SentTypes(), Types{MSG_TALK_TEXT}) << i;
        EXPECT_EQ(h.EventCodes().size(), GetParam().delivered[i] ? 1u : 0u) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EngineSequences, RepeatSuppression,
    ::testing::Values(RepeatCase{"Repeat", {500, 500}, {true, false}},
                      RepeatCase{"DelayedOlderCopy", {500, 501, 500}, {true, true, false}},
                      RepeatCase{"FirstTextOlderThanTheSeed", {3, 4}, {true, true}},
                      RepeatCase{
                          "Wrap", {0xFFFFFFFF, 0, 0xFFFFFFFF, 1}, {true, true, false, true}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineReceiveText, FirstTextOfANewConversationIsNewWhateverItsSequence) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    ReceiveText(h, 9000);
    h.ReceiveControl(MSG_PEER_HANGUP);
    ASSERT_EQ(h.engine.RequestMatch(SampleProfile("me"), SampleRequirement("t")), 0);
    h.ReceiveControl(MSG_MATCH_REQUEST_ACK);
    h.Receive(BuildPartnerFound(kSession, kConversation, SampleProfile("next")));
    h.engine.Accept();
    h.ReceiveControl(MSG_ACCEPT_ACK);
    h.ReceiveControl(MSG_TALK_START);
    h.Forget();
    ReceiveText(h, 12);
    EXPECT_EQ(h.EventCodes(), Types{EVT_TALK_TEXT});
}

TEST(EngineReceiveText, OtherSubKindsAreIgnored) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    auto odd = BuildTalkText(kSession, kConversation, 5, MakeTalkText("?"));
    StoreI32(odd.data() + offsets::kTalkSubKind, 3);
    h.Receive(odd);
    EXPECT_TRUE(h.SentTypes().empty());
    EXPECT_TRUE(h.EventCodes().empty());
}

TEST(EngineReceiveText, TextOutsideAConversationIsNeitherAcknowledgedNorDelivered) {
    for (int32_t state : {2, 6, 8, 11}) {
        EngineHarness h;
        h.DriveTo(state);
        ReceiveText(h, 1);
        EXPECT_TRUE(h.SentTypes().empty()) << state;
        EXPECT_TRUE(h.EventCodes().empty()) << state;
    }
}

TEST(EngineReceiveData, DeliversTheLengthAndBytesWithoutAnswer) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    std::vector<uint8_t> data = {9, 8, 7, 6};
    h.Receive(BuildTalkData(kSession, kConversation, data));
    EXPECT_TRUE(h.SentTypes().empty());
    EXPECT_EQ(h.EventCodes(), Types{EVT_TALK_DATA});
    EventBlock block = h.LastBlock();
    EXPECT_EQ(block.size(), kTalkBlockSize);
    auto got = ReadTalkDataBlock(block);
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), data);
}

TEST(EngineReceiveData, OversizedOrNegativeLengthIsClampedIntoTheBlock) {
    for (int32_t length : {600, -4}) {
        EngineHarness h;
        h.DriveTo(CLIENT_STATE_TALKING);
        auto message = BuildTalkData(kSession, kConversation, std::vector<uint8_t>(512, 0xAB));
        StoreI32(message.data() + offsets::kDataLength, length);
        h.Receive(message);
        EventBlock block = h.LastBlock();
        ASSERT_EQ(block.size(), kTalkBlockSize);
        EXPECT_EQ(LoadI32(block.data()), length < 0 ? 0 : 512) << length;
    }
}

} // namespace
} // namespace vessaro::test
