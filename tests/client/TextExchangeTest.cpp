// Lines of text with acknowledgement, retransmission and repeat suppression; blocks of data.
#include "EngineHarness.h"

#include "ByteOrder.h"

#include <gtest/gtest.h>

#include <thread>

namespace vessaro::test {
namespace {

using namespace std::chrono_literals;
using Types = std::vector<int32_t>;

// The partner's acknowledgement of whatever text the engine sends, shifted by `offset` sequences.
void AcknowledgeTexts(EngineHarness& h, int32_t offset = 0) {
    h.onSend = [&h, offset](const std::vector<uint8_t>& bytes) {
        DatagramView m = View(bytes);
        if (m.type() == MSG_TALK_TEXT && m.talkSubKind() == TALK_TEXT)
            h.Receive(BuildTalkAck(kSession, kConversation, m.talkSequence() + offset, 0));
    };
}

void ReceiveText(EngineHarness& h, uint32_t sequence, const char* text = "line") {
    h.Receive(BuildTalkText(kSession, kConversation, sequence, MakeTalkText(text, 3)));
}

TEST(EngineSendText, AcknowledgedTextReturnsAtOnceWithTheNextSequence) {
    EngineHarness h(10s);
    h.DriveTo(CLIENT_STATE_TALKING);
    AcknowledgeTexts(h);
    EXPECT_EQ(h.engine.SendText(MakeTalkText("你好")), 0);
    auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    DatagramView text = View(sent[0]);
    EXPECT_EQ(text.talkSubKind(), TALK_TEXT);
    EXPECT_EQ(text.talkSequence(), kClockStart + 1); // sequences start at the clock's count
    EXPECT_EQ(text.protocol(), PROTO_TALK_DATA);
    EXPECT_EQ(text.conversationId(), kConversation);
    EXPECT_STREQ(text.talkText().text, "你好");
    EXPECT_EQ(h.engine.SendText(MakeTalkText("again")), 0);
    EXPECT_EQ(View(h.Sent()[1]).talkSequence(), kClockStart + 2);
}

TEST(EngineSendText, AcknowledgementFromTheProcessingThreadReleasesTheWait) {
    EngineHarness h(10s);
    h.DriveTo(CLIENT_STATE_TALKING);
    std::thread partner;
    h.onSend = [&](const std::vector<uint8_t>& bytes) {
        uint32_t sequence = View(bytes).talkSequence();
        partner = std::thread(
            [&h, sequence] { h.Receive(BuildTalkAck(kSession, kConversation, sequence, 0)); });
    };
    EXPECT_EQ(h.engine.SendText(MakeTalkText("threaded")), 0);
    partner.join();
    EXPECT_EQ(h.Sent().size(), 1u);
}

TEST(EngineSendText, ThreeUnansweredCopiesOfTheSameTextFail) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    ConsoleCapture console;
    EXPECT_EQ(h.engine.SendText(MakeTalkText("lost")), -1);
    auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], sent[1]);
    EXPECT_EQ(sent[1], sent[2]);
    EXPECT_EQ(console.Text(), "Talk failed ----------\n");
    EXPECT_EQ(h.engine.state(), CLIENT_STATE_TALKING);
}

TEST(EngineSendText, AcknowledgementOfAnOlderTextDoesNotRelease) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    AcknowledgeTexts(h, -1);
    EXPECT_EQ(h.engine.SendText(MakeTalkText("x")), -1);
    EXPECT_EQ(h.Sent().size(), 3u);
}

TEST(EngineSendText, LateAcknowledgementOfAFailedTextDoesNotCompleteTheNext) {
    EngineHarness h;
    h.DriveTo(CLIENT_STATE_TALKING);
    ASSERT_EQ(h.engine.SendText(MakeTalkText("first")), -1);
    h.Receive(BuildTalkAck(kSession, kConversation, kClockStart + 1, 0)); // now it comes
    EXPECT_EQ(h.engine.SendText(MakeTalkText("second")), -1);
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
