#include "ConversationModel.h"

#include "Codec.h"
#include "TranscriptPage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vessaro;

namespace {

// A user action or an engine event, applied in order to a fresh conversation.
struct Step {
    enum Kind { Event, Accept, Leave, Post } kind;
    int32_t code = 0;    // Event
    uint32_t textId = 0; // Event (EVT_TEXT_*), Post
};
Step Ev(int32_t code, uint32_t id = 0) {
    return {Step::Event, code, id};
}
const Step kAccept{Step::Accept}, kLeave{Step::Leave};
Step Post(uint32_t id) {
    return {Step::Post, 0, id};
}

struct Case {
    const char* name;
    std::vector<Step> steps;
    LeaveAction leave;
    std::string lines;    // one letter a line: S system, P partner, M mine
    std::string delivery; // one letter a line: c confirmed, p pending, f failed
    int ended;            // times the view was told of the end
};

TEST(ConversationModel, EventSequencesGiveLinesDeliveryAndLeaveRule) {
    const Case cases[] = {
        {"offered", {}, LeaveAction::Refuse, "S", "c", 0},
        {"accept sent", {kAccept}, LeaveAction::None, "S", "c", 0},
        {"accepted", {kAccept, Ev(EVT_ACCEPTED)}, LeaveAction::HangUp, "S", "c", 0},
        {"refusal sent", {kLeave}, LeaveAction::None, "S", "c", 0},
        {"talking",
         {Ev(EVT_ACCEPTED), Ev(EVT_TALK_STARTED), Ev(EVT_TALK_TEXT)},
         LeaveAction::HangUp,
         "SSP",
         "ccc",
         0},
        {"hang-up sent",
         {Ev(EVT_ACCEPTED), Ev(EVT_TALK_STARTED), kLeave},
         LeaveAction::None,
         "SS",
         "cc",
         0},
        {"lines settle by id, in any order",
         {Ev(EVT_ACCEPTED), Ev(EVT_TALK_STARTED), Post(1), Post(2), Post(3), Ev(EVT_TEXT_FAILED, 2),
          Ev(EVT_TEXT_CONFIRMED, 1)},
         LeaveAction::HangUp,
         "SSMMM",
         "cccfp",
         0},
        {"foreign, repeated and contradicting outcomes are not believed",
         {Ev(EVT_ACCEPTED), Ev(EVT_TALK_STARTED), Post(5), Ev(EVT_TEXT_CONFIRMED, 9),
          Ev(EVT_TEXT_CONFIRMED), Ev(EVT_TEXT_CONFIRMED, 5), Ev(EVT_TEXT_FAILED, 5)},
         LeaveAction::HangUp,
         "SSM",
         "ccc",
         0},
        {"posting outside the talk, with id 0 or a reused id adds nothing",
         {Post(1), Ev(EVT_ACCEPTED), Ev(EVT_TALK_STARTED), Post(0), Post(4), Post(4), Post(3)},
         LeaveAction::HangUp,
         "SSM",
         "ccp",
         0},
        {"the end fails what is still pending, once, and closes the transcript",
         {Ev(EVT_ACCEPTED), Ev(EVT_TALK_STARTED), Post(1), Ev(EVT_SERVER_LOST), Ev(EVT_TALK_ENDED),
          Ev(EVT_TALK_ENDED), Ev(EVT_TALK_TEXT), Ev(EVT_TEXT_CONFIRMED, 1)},
         LeaveAction::None,
         "SSMSS",
         "ccfcc",
         1},
        {"an offer ended by the partner", {Ev(EVT_TALK_ENDED)}, LeaveAction::None, "SS", "cc", 1},
        {"data and unknown codes change nothing",
         {Ev(EVT_TALK_DATA), Ev(99)},
         LeaveAction::Refuse,
         "S",
         "c",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConversationModel model("me", "peer", [] { return std::time_t(0); });
        int added = 0, changed = 0, ended = 0;
        model.SetObserver(
            {[&](std::size_t) { ++added; }, [&](std::size_t) { ++changed; }, [&] { ++ended; }});
        model.Open();
        for (const Step& s : c.steps) {
            if (s.kind == Step::Event)
                model.OnEvent(s.code, s.code == EVT_TALK_TEXT
                                          ? MakeTalkTextBlock(MakeTalkText("hi"))
                                      : s.textId ? MakeTextIdBlock(s.textId)
                                                 : EventBlock{});
            else if (s.kind == Step::Accept)
                model.AcceptRequested();
            else if (s.kind == Step::Leave)
                model.LeaveRequested();
            else
                model.TextPosted(s.textId, "line" + std::to_string(s.textId));
        }
        std::string lines, delivery;
        int settled = 0;
        for (const ChatEntry& e : model.lines()) {
            lines += e.colorName == "Teal" ? 'S' : e.colorName == "Blue" ? 'P' : 'M';
            delivery += "cpf"[static_cast<int>(e.delivery)];
            settled += e.delivery != Delivery::Pending && e.speakerLabel == "me";
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(delivery, c.delivery);
        EXPECT_EQ(model.Leave(), c.leave);
        EXPECT_EQ(added, static_cast<int>(model.lines().size()));
        EXPECT_EQ(changed, settled) << "each own line is told settled once";
        EXPECT_EQ(ended, c.ended);
    }
}

// The lines are the ones both views show: exact texts, own lines labelled and stamped by the
// clock, their ids kept, and the page marks only what is not confirmed.
TEST(ConversationModel, LinesCarryTextsStampsAndMarksIntoThePage) {
    std::time_t now = 0;
    ConversationModel model("me", "peer", [&] { return now; });
    model.Open();
    model.OnEvent(EVT_ACCEPTED, {});
    model.OnEvent(EVT_TALK_STARTED, {});
    now = 3600 * 5 + 61;
    ASSERT_TRUE(model.TextPosted(7, "a\r\nb"));
    const ChatEntry& mine = model.lines()[2];
    EXPECT_EQ(mine.speakerLabel, "me");
    EXPECT_EQ(mine.timeStamp, FormatTimeStamp(now));
    EXPECT_EQ(model.TextIdOf(2), 7u);
    EXPECT_EQ(model.TextIdOf(1), 0u);
    EXPECT_EQ(model.lines()[0].messageText,
              EncodeGbkOrEmpty("请选择‘接受’开始对话，拒绝对话请按“挂断”"));
    EXPECT_EQ(model.lines()[1].messageText, EncodeGbkOrEmpty("连接已建立，可以开始对话！"));

    const std::string pendingPage = BuildPage(model.lines());
    EXPECT_NE(pendingPage.find(EncodeGbkOrEmpty("（发送中）")), std::string::npos);
    model.OnEvent(EVT_TEXT_CONFIRMED, MakeTextIdBlock(7));
    ChatEntry plain = model.lines()[2];
    EXPECT_EQ(EntryHtml(plain), "<p><font size=2 color=Green>me&nbsp" + mine.timeStamp +
                                    "</font><p><font size=3>&nbsp;&nbsp;a<br>&nbsp;&nbspb</font>");
    plain.delivery = Delivery::Failed;
    EXPECT_NE(EntryHtml(plain).find(EncodeGbkOrEmpty("（未送达）")), std::string::npos);
}

} // namespace
