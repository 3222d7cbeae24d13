#include "ChatWindowFixture.h"

#include "CHtmlCtrl.h"
#include "Console.h"
#include "TranscriptPage.h"

#include <QInputMethodEvent>
#include <QLabel>
#include <QMessageBox>
#include <QWebEngineScript>

#include <cstdio>

namespace vessaro::test {
namespace {

using res::IDC_CHAT_ACCEPT;
using res::IDC_CHAT_CLOSE;
using res::IDC_CHAT_HANGUP;
using res::IDC_CHAT_SEND;

void TypeChinese(QWidget* input, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(input, &commit);
}

EventBlock TalkBlock(std::string_view gbk) {
    return MakeTalkTextBlock(MakeTalkText(gbk, 0));
}

TEST_F(ChatWindowTest, OpensOfferedWithThePromptAndBothProfiles) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("对话"));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Button(IDC_CHAT_ACCEPT)->isEnabled());
    EXPECT_TRUE(Button(IDC_CHAT_HANGUP)->isEnabled());
    EXPECT_FALSE(Button(IDC_CHAT_SEND)->isEnabled());
    EXPECT_TRUE(Button(IDC_CHAT_CLOSE)->isEnabled());
    EXPECT_FALSE(Button(res::IDC_CHAT_VIEW_PROFILE)->isVisible());
    EXPECT_FALSE(Button(res::IDC_CHAT_SEND_PICTURE)->isVisible());
    EXPECT_TRUE(Input()->toPlainText().isEmpty());
    EXPECT_EQ(res::ControlAs<QLabel>(dialog, res::IDC_CHAT_PEER_PROFILE)->text(),
              QStringLiteral("昵称：小红\n性别：女"));
    EXPECT_EQ(res::ControlAs<QLabel>(dialog, res::IDC_CHAT_MY_PROFILE)->text(),
              QStringLiteral("昵称：小明\n性别：男"));

    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(LastEntry().speakerLabel, Gbk("系统消息"));
    EXPECT_EQ(LastEntry().colorName, "Teal");
    EXPECT_EQ(LastEntry().messageText, Gbk("请选择‘接受’开始对话，拒绝对话请按“挂断”"));
    EXPECT_EQ(dialog->BuildPage(), BuildPage(Entries()));

    // Opening leaves the matching window's ring alone.
    EXPECT_TRUE(sounds.isEmpty());
    EXPECT_EQ(SoundService::Instance().current(), QStringLiteral("ringin.wav"));
    EXPECT_TRUE(SoundService::Instance().looping());
}

TEST_F(ChatWindowTest, FocusMovesToTheInputBoxShortlyAfterOpening) {
    dialog->activateWindow();
    EXPECT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == Input(); }, 10000));
}

struct PhaseStep {
    const char* name;
    int32_t code;
    bool acceptEnabled, hangUpEnabled, sendEnabled;
    QStringList sounds; // what the step asks of the audio output, in order
    const char* notice; // system line added by the step, or null
};

TEST_F(ChatWindowTest, ControlsAndSoundsFollowThePhases) {
    const PhaseStep steps[] = {
        {"accepted", EVT_ACCEPTED, false, true, false, {"play ringout.wav loop"}, nullptr},
        {"talking",
         EVT_TALK_STARTED,
         false,
         true,
         true,
         {"stop", "play chimes.wav once"},
         "连接已建立，可以开始对话！"},
        {"line received", EVT_TALK_TEXT, false, true, true, {"play ding.wav once"}, nullptr},
        {"ended",
         EVT_TALK_ENDED,
         false,
         false,
         false,
         {"stop", "play over.wav once"},
         "对话已结束！点击关闭按钮退出。\r\n注意：关闭窗口后，对话内容将会自动删除！！！"},
    };
    for (const PhaseStep& step : steps) {
        SCOPED_TRACE(step.name);
        sounds.clear();
        const std::size_t before = Entries().size();
        Post(step.code, step.code == EVT_TALK_TEXT ? TalkBlock(Gbk("在吗")) : EventBlock{});
        EXPECT_EQ(Button(IDC_CHAT_ACCEPT)->isEnabled(), step.acceptEnabled);
        EXPECT_EQ(Button(IDC_CHAT_HANGUP)->isEnabled(), step.hangUpEnabled);
        EXPECT_EQ(Button(IDC_CHAT_SEND)->isEnabled(), step.sendEnabled);
        EXPECT_TRUE(Button(IDC_CHAT_CLOSE)->isEnabled());
        EXPECT_TRUE(Input()->isEnabled());
        EXPECT_EQ(sounds, step.sounds);
        if (step.notice) {
            ASSERT_EQ(Entries().size(), before + 1);
            EXPECT_EQ(LastEntry().speakerLabel, Gbk("系统消息"));
            EXPECT_EQ(LastEntry().colorName, "Teal");
            EXPECT_EQ(LastEntry().messageText, Gbk(step.notice));
        }
    }
    EXPECT_TRUE(engine.calls.empty()) << "events never call back into the engine";
}

TEST_F(ChatWindowTest, ReceivedLineIsThePartnersUpToItsTerminator) {
    StartTalking();
    EventBlock block = TalkBlock(Gbk("你好，http://example.com/a 见"));
    const std::size_t terminator = 4 + Gbk("你好，http://example.com/a 见").size();
    for (std::size_t i = terminator + 1; i < block.size(); ++i)
        block[i] = 'Z'; // whatever follows the terminator is not part of the line
    Post(EVT_TALK_TEXT, block);
    EXPECT_EQ(LastEntry().speakerLabel, Gbk("小红"));
    EXPECT_EQ(LastEntry().colorName, "Blue");
    EXPECT_EQ(LastEntry().messageText, Gbk("你好，http://example.com/a 见"));
    EXPECT_NE(dialog->BuildPage().find("<a href=http://example.com/a target=_blank>"),
              std::string::npos);

    // A text area without a terminator is read to its end and never beyond it.
    EventBlock full(kTalkBlockSize, 'x');
    full[0] = full[1] = full[2] = full[3] = 0;
    Post(EVT_TALK_TEXT, full);
    EXPECT_EQ(LastEntry().messageText, std::string(512, 'x'));
}

// The server closed the session: its line comes first, then the conversation ends as usual.
TEST_F(ChatWindowTest, ALostServerAddsItsLineBeforeTheEnd) {
    StartTalking();
    Post(EVT_SERVER_LOST);
    EndTalking();
    const std::size_t n = Entries().size();
    EXPECT_EQ(Entries()[n - 2].colorName, "Teal");
    EXPECT_EQ(Entries()[n - 2].messageText, Gbk("服务器连接中断，对话结束。"));
    EXPECT_EQ(LastEntry().messageText.rfind(Gbk("对话已结束！"), 0), 0u);
    EXPECT_FALSE(Button(IDC_CHAT_SEND)->isEnabled());
    EXPECT_TRUE(engine.calls.empty());
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A partner's line is kept as received, and whatever it holds stays inside its own entry: no
// break, markup or control character can start a line of the page that looks like another
// speaker's or the program's.
TEST_F(ChatWindowTest, HostilePartnerLinesStayInsideTheirOwnEntry) {
    StartTalking();
    const std::string lines[] = {
        Gbk("好\r\n小明&nbsp12:00:00</font><p><font size=2 color=Green>小明"),
        "a\rb\nc\r\n\r\n",
        "\x1b[2J\x1b]0;title\x07\x7f",
        Gbk("\u202E!olleh\u2066x"),
    };
    for (const std::string& line : lines)
        Post(EVT_TALK_TEXT, TalkBlock(line));

    const std::string page = dialog->BuildPage();
    EXPECT_EQ(page, BuildPage(Entries()));
    EXPECT_EQ(Count(page, "<p><font size=2 color="), static_cast<int>(Entries().size()));
    EXPECT_EQ(Count(page, "color=Green>"), 0) << "the partner never writes the user's header";
    EXPECT_EQ(LastEntry().messageText, lines[3]) << "kept as received";
    EXPECT_NE(page.find("&nbsp;&nbsp;" + Gbk("好") + "<br>&nbsp;&nbsp" + Gbk("小明") +
                        "&amp;nbsp12:00:00&lt;/font&gt;&lt;p&gt;"),
              std::string::npos)
        << "a CR LF continues the partner's own entry";
}

TEST_F(ChatWindowTest, TalkDataAndUnknownCodesOnlyLog) {
    std::FILE* console = std::tmpfile();
    ASSERT_NE(console, nullptr);
    SetConsoleStream(console);
    StartTalking();
    const std::size_t entries = Entries().size();
    sounds.clear();

    Post(EVT_TALK_DATA, MakeTalkDataBlock(std::vector<uint8_t>{1, 2, 3}));
    Post(99, EventBlock(7, 0xff));
    Post(EVT_NOTICE);

    SetConsoleStream(stdout);
    std::rewind(console);
    char text[512] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, console);
    std::fclose(console);
    EXPECT_EQ(std::string(text, n), "CChatDialog::OnMyMessage, wParam = 9\n"
                                    "CChatDialog::OnMyMessage, wParam = 11\n"
                                    "CChatDialog::OnMyMessage, wParam = 13\n"
                                    "CChatDialog::OnMyMessage, wParam = 99\n"
                                    "CChatDialog::OnMyMessage, wParam = 4\n");
    EXPECT_EQ(Entries().size(), entries);
    EXPECT_TRUE(sounds.isEmpty());
    EXPECT_TRUE(Button(IDC_CHAT_SEND)->isEnabled());
    EXPECT_TRUE(Button(IDC_CHAT_HANGUP)->isEnabled());
}

// 挂断 refuses an offer and hangs up a conversation; while the engine still answers the accept or
// the hang-up it sends nothing more.
TEST_F(ChatWindowTest, HangUpRefusesUntilAcceptedThenHangsUpOnce) {
    Button(IDC_CHAT_HANGUP)->click();
    Button(IDC_CHAT_HANGUP)->click();
    EXPECT_EQ(engine.calls, std::vector<std::string>{"refuse"});
    EndTalking(); // the refusal answered

    ChatWindowTest::TearDown(); // a second offer, accepted
    SetUp();
    engine.calls.clear();
    Button(IDC_CHAT_ACCEPT)->click();
    EXPECT_TRUE(Button(IDC_CHAT_ACCEPT)->isEnabled()) << "only EVT_ACCEPTED changes the window";
    Button(IDC_CHAT_HANGUP)->click();
    Post(EVT_ACCEPTED);
    Post(EVT_TALK_STARTED);
    Button(IDC_CHAT_HANGUP)->click();
    Button(IDC_CHAT_HANGUP)->click();
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"accept", "hangup"}));
    EndTalking();
    EXPECT_FALSE(Button(IDC_CHAT_HANGUP)->isEnabled());
}

TEST_F(ChatWindowTest, EnterDoesNothingUntilTheTalkStarts) {
    QTest::keyClicks(Input(), "hello");
    QTest::keyClick(Input(), Qt::Key_Return);
    Post(EVT_ACCEPTED);
    QTest::keyClick(Button(IDC_CHAT_HANGUP), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(Input()->toPlainText(), QStringLiteral("hello"));
    EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(ChatWindowTest, EnterSendsWhereverTheFocusIsAndNeverHangsUp) {
    StartTalking();
    struct Case {
        const char* name;
        QWidget* target;
        Qt::Key key;
    } cases[] = {
        {"input box", Input(), Qt::Key_Return},
        {"hang-up button", Button(IDC_CHAT_HANGUP), Qt::Key_Return},
        {"close button", Button(IDC_CHAT_CLOSE), Qt::Key_Enter},
        {"accept button", Button(IDC_CHAT_ACCEPT), Qt::Key_Return},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine.calls.clear();
        QTest::keyClicks(Input(), "hi");
        QTest::keyClick(c.target, c.key);
        EXPECT_EQ(engine.calls, std::vector<std::string>{"send:hi"});
        EXPECT_TRUE(Input()->toPlainText().isEmpty());
        EXPECT_EQ(LastEntry().speakerLabel, Gbk("小明"));
        EXPECT_EQ(LastEntry().colorName, "Green");
        EXPECT_EQ(LastEntry().messageText, "hi");
    }
    EXPECT_FALSE(DeletedAfterEvents());
    EXPECT_EQ(host.closed, 0);
}

TEST_F(ChatWindowTest, ControlEnterBreaksTheLineAndTheBreakIsSentAsCrLf) {
    StartTalking();
    QTest::keyClicks(Input(), "a");
    QTest::keyClick(Input(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(Input(), "b");
    EXPECT_EQ(Input()->toPlainText(), QStringLiteral("a\nb"));
    EXPECT_TRUE(engine.calls.empty());

    // Elsewhere Control+Enter neither sends nor presses the focused button.
    QTest::keyClick(Button(IDC_CHAT_HANGUP), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(engine.calls.empty());

    QTest::keyClick(Input(), Qt::Key_Return);
    EXPECT_EQ(engine.calls, std::vector<std::string>{"send:a\r\nb"});
    EXPECT_EQ(LastEntry().messageText, "a\r\nb");
    Post(EVT_TEXT_CONFIRMED, MakeTextIdBlock(1));
    EXPECT_NE(dialog->BuildPage().find("<font size=3>&nbsp;&nbsp;a<br>&nbsp;&nbspb</font>"),
              std::string::npos);
}

TEST_F(ChatWindowTest, SendButtonSendsChineseAsGbkWithPackTypeZero) {
    StartTalking();
    TypeChinese(Input(), QStringLiteral("你好，世界"));
    Button(IDC_CHAT_SEND)->click();
    EXPECT_TRUE(Button(IDC_CHAT_SEND)->isEnabled());
    EXPECT_EQ(engine.calls, std::vector<std::string>{"send:" + Gbk("你好，世界")});
    EXPECT_EQ(engine.packTypes, std::vector<int32_t>{0});
    EXPECT_EQ(LastEntry().messageText, Gbk("你好，世界"));
}

TEST_F(ChatWindowTest, EmptyInputSendsNothingButBlanksAreSent) {
    StartTalking();
    const std::size_t before = Entries().size();
    Button(IDC_CHAT_SEND)->click();
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(Entries().size(), before);

    QTest::keyClicks(Input(), "   ");
    Button(IDC_CHAT_SEND)->click();
    EXPECT_EQ(engine.calls, std::vector<std::string>{"send:   "});
    EXPECT_EQ(LastEntry().messageText, "   ");
}

// The failure box of a line, without blocking the window; null when none is up.
QString FailureShown(QWidget* dialog) {
    auto* box = dialog->findChild<QMessageBox*>();
    return box && box->isVisible() ? box->text() : QString();
}

// A refused line stays in the box; a taken one shows at once as pending, then as the engine's
// outcome says; a failed one comes back to an empty box with the failure message.
TEST_F(ChatWindowTest, LinesShowPendingThenTheirOutcomeWithoutBlocking) {
    StartTalking();
    engine.postResults = {0};
    QTest::keyClicks(Input(), "are you there?");
    const std::size_t before = Entries().size();
    QTest::keyClick(Input(), Qt::Key_Return);
    EXPECT_EQ(FailureShown(dialog), QStringLiteral("发送失败！"));
    EXPECT_FALSE(dialog->findChild<QMessageBox*>()->isModal()) << "the window goes on";
    EXPECT_EQ(Input()->toPlainText(), QStringLiteral("are you there?"));
    EXPECT_EQ(Entries().size(), before);
    dialog->findChild<QMessageBox*>()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QTest::keyClick(Input(), Qt::Key_Return); // id 1
    QTest::keyClicks(Input(), "second");
    QTest::keyClick(Input(), Qt::Key_Return); // id 2
    ASSERT_EQ(Entries().size(), before + 2);
    EXPECT_EQ(Entries()[before].speakerLabel, Gbk("小明"));
    EXPECT_EQ(Entries()[before].colorName, "Green");
    EXPECT_EQ(Entries()[before].messageText, "are you there?");
    EXPECT_EQ(Entries()[before].delivery, Delivery::Pending);
    EXPECT_TRUE(Input()->toPlainText().isEmpty());

    Post(EVT_TEXT_CONFIRMED, MakeTextIdBlock(1));
    Post(EVT_TEXT_FAILED, MakeTextIdBlock(2));
    EXPECT_EQ(Entries()[before].delivery, Delivery::Confirmed);
    EXPECT_EQ(Entries()[before + 1].delivery, Delivery::Failed);
    EXPECT_EQ(FailureShown(dialog), QStringLiteral("发送失败！"));
    EXPECT_EQ(Input()->toPlainText(), QStringLiteral("second"));
}

// Clicks the mark of the entry in the live transcript view, as soon as the view shows it as a link.
bool ClickMark(CChatDialog* dialog, std::size_t index, const std::function<bool()>& done) {
    auto* view = res::ControlAs<CHtmlCtrl>(dialog, res::IDC_CHAT_TRANSCRIPT);
    const QString script = QStringLiteral("var a = document.querySelector('#vessaro-mark-%1 a');"
                                          "if (a) a.click();")
                               .arg(index);
    return WaitUntil(
        [&] {
            if (!done())
                view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld);
            return done();
        },
        30000);
}

// A failed line is sent again from its mark through the same path, keeps its place, and is saved
// only once confirmed; a line that was never delivered is not in the saved page.
TEST_F(ChatWindowTest, FailedLineIsSentAgainFromItsMarkAndSavedOnlyOnceDelivered) {
    StartTalking();
    QTest::keyClicks(Input(), "hello");
    QTest::keyClick(Input(), Qt::Key_Return); // id 1
    const std::size_t line = Entries().size() - 1;
    Post(EVT_TEXT_FAILED, MakeTextIdBlock(1));
    ASSERT_EQ(Entries()[line].delivery, Delivery::Failed);
    EXPECT_EQ(dialog->BuildPage(), BuildPage({Entries().begin(), Entries().begin() + line}));
    EXPECT_EQ(dialog->BuildPage().find(Gbk("（未送达）")), std::string::npos);
    ASSERT_EQ(Input()->toPlainText(), QStringLiteral("hello"));

    ASSERT_TRUE(ClickMark(dialog, line, [&] { return engine.calls.size() == 2; }));
    EXPECT_EQ(engine.calls.back(), "send:hello");
    EXPECT_EQ(Entries().size(), line + 1) << "the line keeps its place";
    EXPECT_EQ(Entries()[line].delivery, Delivery::Pending);
    EXPECT_TRUE(Input()->toPlainText().isEmpty()) << "not to be sent twice";

    Post(EVT_TEXT_FAILED, MakeTextIdBlock(1)); // the first attempt's id is spent
    EXPECT_EQ(Entries()[line].delivery, Delivery::Pending);
    dialog->Resend(line); // a pending line is not sent again
    dialog->Resend(0);    // nor a system line
    EXPECT_EQ(engine.calls.size(), 2u);
    Post(EVT_TEXT_CONFIRMED, MakeTextIdBlock(2));
    EXPECT_EQ(Entries()[line].delivery, Delivery::Confirmed);
    EXPECT_EQ(dialog->BuildPage(), BuildPage(Entries()));

    Post(EVT_TEXT_FAILED, MakeTextIdBlock(3)); // an id never handed out changes nothing
    EndTalking();
    dialog->Resend(line);
    EXPECT_EQ(engine.calls.size(), 2u);
}

TEST_F(ChatWindowTest, InputTakes255BytesAndNoMore) {
    StartTalking();
    Input()->setPlainText(QString(254, QLatin1Char('x')));
    Input()->moveCursor(QTextCursor::End);
    QTest::keyClicks(Input(), "yz");
    EXPECT_EQ(Input()->toPlainText(), QString(254, QLatin1Char('x')) + QLatin1Char('y'));

    QTest::keyClick(Input(), Qt::Key_Return);
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls.front(), "send:" + std::string(254, 'x') + "y");
}

struct CloseCase {
    const char* name;
    std::vector<int32_t> events;
    bool pressAcceptFirst;
    bool byCloseButton;
    std::vector<std::string> calls;
};

void PrintTo(const CloseCase& c, std::ostream* out) {
    *out << c.name;
}

class ChatWindowCloseTest : public ChatWindowTest,
                            public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ChatWindowCloseTest, StopsSoundEndsTheOfferOrTalkTellsTheHostAndGoes) {
    const CloseCase& c = GetParam();
    if (c.pressAcceptFirst)
        Button(IDC_CHAT_ACCEPT)->click();
    for (int32_t code : c.events)
        Post(code);
    sounds.clear();

    if (c.byCloseButton)
        Button(IDC_CHAT_CLOSE)->click();
    else
        dialog->close();

    EXPECT_EQ(engine.calls, c.calls);
    EXPECT_EQ(sounds, QStringList{QStringLiteral("stop")});
    EXPECT_TRUE(SoundService::Instance().current().isEmpty());
    EXPECT_EQ(host.closed, 1);
    EXPECT_FALSE(dialog->isVisible());
    Post(EVT_TALK_TEXT, TalkBlock("late")); // an event already on its way changes nothing
    EXPECT_EQ(sounds, QStringList{QStringLiteral("stop")});
    EXPECT_TRUE(DeletedAfterEvents());
    EXPECT_EQ(host.closed, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, ChatWindowCloseTest,
    ::testing::Values(
        CloseCase{"offered", {}, false, true, {"refuse"}},
        CloseCase{"offeredByCaption", {}, false, false, {"refuse"}},
        CloseCase{"acceptPressed", {}, true, true, {"accept"}},
        CloseCase{"accepted", {EVT_ACCEPTED}, false, true, {"hangup"}},
        CloseCase{"talking", {EVT_ACCEPTED, EVT_TALK_STARTED}, false, false, {"hangup"}},
        CloseCase{"ended", {EVT_ACCEPTED, EVT_TALK_STARTED, EVT_TALK_ENDED}, false, true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChatWindowTest, EscapeLeavesTheWindowOpen) {
    QTest::keyClick(Input(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(host.closed, 0);
}

} // namespace
} // namespace vessaro::test
