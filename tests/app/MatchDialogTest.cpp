#include "AppSettings.h"
#include "CMatchDialog.h"
#include "ProfileStore.h"
#include "SettingsDialog.h"

#include "CAboutDialog.h"
#include "CHtmlCtrl.h"
#include "ChatDialogTemplate.h"
#include "ClientInterface.h"
#include "Codec.h"
#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "EngineEventMessage.h"
#include "FakeMatchEngine.h"
#include "MatchDialogTemplate.h"
#include "ModalDriver.h"
#include "SoundService.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

using namespace res::match_ids;
using test::FakeMatchEngine;

constexpr int kWaitMs = 5000;
constexpr int kQuickStartMs = 5; // tests that are not about the start-up delay skip it

// Counts the engine events that reach a window.
class EventCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == EngineEventMessage::Type())
            codes.push_back(static_cast<EngineEventMessage*>(event)->code());
        return false;
    }
    std::vector<int32_t> codes;
};

// Records the engine events that reach any chat window, wherever they were posted.
class ChatDelivery : public QObject {
public:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (event->type() == EngineEventMessage::Type() && qobject_cast<CChatDialog*>(receiver))
            codes.push_back(static_cast<EngineEventMessage*>(event)->code());
        return false;
    }
    std::vector<int32_t> codes;
};

UserProfile Profile(const char* nickname, const char* communityId, int32_t sex) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, EncodeGbkOrEmpty(nickname));
    CopyToField(p.communityId, EncodeGbkOrEmpty(communityId));
    CopyToField(p.city, EncodeGbkOrEmpty("深圳"));
    p.sex = sex;
    p.age = 25;
    return p;
}

class MatchDialogTest : public ::testing::Test {
protected:
    MatchDialogTest()
        : window(QStringLiteral("127.0.0.9"), 13366, QStringLiteral("http://127.0.0.1:1"),
                 &engine) {
        window.setStartupDelay(kQuickStartMs);
    }

    void TearDown() override { SoundService::Instance().Stop(); }

    QString Status() { return res::ControlAs<QLabel>(&window, kStatus)->text(); }
    QString InfoShown() { return res::ControlAs<QLabel>(&window, kInfo)->text(); }
    bool StartEnabled() { return res::Control(&window, kStart)->isEnabled(); }
    bool CancelEnabled() { return res::Control(&window, kCancel)->isEnabled(); }

    static void Deliver() { QCoreApplication::sendPostedEvents(); }

    void Emit(int32_t code, EventBlock block = {}) {
        engine.Emit(code, std::move(block));
        Deliver();
    }

    // Shown, started by its timer, and connected.
    void Connect() {
        window.show();
        ASSERT_TRUE(test::WaitUntil([&] { return engine.count("connect") == 1; }, kWaitMs));
        engine.state = CLIENT_STATE_CONNECTED;
        Emit(EVT_CONNECTED);
    }
    void Matching() {
        Connect();
        engine.state = CLIENT_STATE_MATCHING;
        Emit(EVT_MATCHING);
    }

    test::ModalDriver modals;
    FakeMatchEngine engine;
    CMatchDialog window;
};

TEST_F(MatchDialogTest, StartsIdleWithTheViewInPlaceOfThePlaceholder) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vessaro客户端"));
    EXPECT_FALSE(StartEnabled());
    EXPECT_FALSE(CancelEnabled());
    EXPECT_EQ(Status(), QStringLiteral("空闲"));
    EXPECT_TRUE(window.infoText().isEmpty());
    EXPECT_EQ(res::Control(&window, kHtmlArea), window.htmlArea());
    EXPECT_EQ(window.trayIcon()->toolTip(), QStringLiteral("Vessaro"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_TRUE(engine.calls.isEmpty()) << "nothing starts before the window is shown";
}

TEST_F(MatchDialogTest, TheEngineStartsOnceHalfASecondAfterTheWindowIsShown) {
    window.setStartupDelay(CMatchDialog::kStartupDelayMs);
    EXPECT_EQ(CMatchDialog(QString(), 0, QString(), &engine).startupDelay(), 500);
    window.show();
    EXPECT_TRUE(window.startupTimerArmed());
    EXPECT_EQ(window.infoText(), QStringLiteral("正在连接服务器..."));
    for (int i = 0; i < 3; ++i) {
        window.hide();
        window.show();
    }
    EXPECT_TRUE(engine.calls.isEmpty());
    ASSERT_TRUE(test::WaitUntil([&] { return engine.count("connect") == 1; }, kWaitMs));
    EXPECT_EQ(engine.calls, (QStringList{"start 127.0.0.9:13366", "callback", "connect"}));
    EXPECT_TRUE(window.started());
    EXPECT_EQ(window.htmlArea()->requestedUrl(),
              QUrl(QStringLiteral("http://127.0.0.1:1/match/adv.html")));

    window.hide();
    window.show();
    EXPECT_FALSE(window.startupTimerArmed()) << "a started engine is never started again";
    EXPECT_EQ(engine.count("start 127.0.0.9:13366"), 1);
}

struct ReactionCase {
    const char* name;
    int32_t code;
    QStringList messages;
    QString status;
    bool start;
    bool cancel;
    QString info; // empty: the requirement summary
};

class MatchDialogReactionTest : public MatchDialogTest,
                                public ::testing::WithParamInterface<ReactionCase> {};

// Each reaction starts from a window that is waiting for a partner.
TEST_P(MatchDialogReactionTest, ReactsWithTheBoxesTextsAndButtons) {
    const ReactionCase& c = GetParam();
    Matching();
    const QString summary = window.infoText();
    QStringList infoAtBox;
    modals.OnMessage([&](const QString&) { infoAtBox << window.infoText(); });
    modals.clearMessages();

    Emit(c.code);
    EXPECT_EQ(modals.messages(), c.messages);
    for (const QString& info : infoAtBox)
        EXPECT_EQ(info, summary) << "the box comes before the window changes";
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(StartEnabled(), c.start);
    EXPECT_EQ(CancelEnabled(), c.cancel);
    EXPECT_EQ(window.infoText(), c.info.isEmpty() ? summary : c.info);
    EXPECT_TRUE(window.isVisible());
}

const ReactionCase kReactions[] = {
    {"connect_failed",
     EVT_CONNECT_FAILED,
     {},
     "空闲",
     false,
     false,
     "连接服务器失败。\r\n1 秒后重新连接服务器…"},
    {"disconnected",
     EVT_DISCONNECTED,
     {},
     "空闲",
     false,
     false,
     "从服务器断开。\r\n1 秒后重新连接服务器…"},
    {"match_failed", EVT_MATCH_FAILED, {"请求失败！"}, "空闲", true, false, ""},
    {"match_cancelled", EVT_MATCH_CANCELLED, {}, "空闲", true, false, ""},
    {"accepted_without_chat", EVT_ACCEPTED, {}, "等待", false, true, ""},
    {"talk_text_without_chat", EVT_TALK_TEXT, {}, "等待", false, true, ""},
    {"talk_ended_without_chat", EVT_TALK_ENDED, {}, "等待", false, true, ""},
    {"unknown_code", 99, {}, "等待", false, true, ""},
};

INSTANTIATE_TEST_SUITE_P(Events, MatchDialogReactionTest, ::testing::ValuesIn(kReactions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MatchDialogTest, ConnectedAndMatchingEnableTheRightButton) {
    Connect();
    EXPECT_TRUE(StartEnabled());
    EXPECT_FALSE(CancelEnabled());
    EXPECT_EQ(window.infoText(), QStringLiteral("连接服务器成功！"));
    EXPECT_EQ(InfoShown(), QStringLiteral("连接服务器成功！"));

    Emit(EVT_MATCHING);
    EXPECT_EQ(Status(), QStringLiteral("等待"));
    EXPECT_FALSE(StartEnabled());
    EXPECT_TRUE(CancelEnabled());
    EXPECT_EQ(window.infoText(), QStringLiteral("聊天要求：\r\n\r\n话题：谈天说地\r\n性别：不限\r\n"
                                                "年龄：12 - 99岁\r\n位置：不限"));
    EXPECT_EQ(InfoShown(), QStringLiteral("聊天要求：\n\n话题：谈天说地\n性别：不限\n"
                                          "年龄：12 - 99岁\n位置：不限"));
    EXPECT_TRUE(modals.messages().isEmpty());
}

TEST_F(MatchDialogTest, TheSummaryTicksTheLocationBoxWhenBothPlacesAreEmpty) {
    Connect();
    CConditionDialog& conditions = window.conditions();
    conditions.values.noRestriction = false;
    conditions.values.locationAny = false;
    conditions.values.partnerCity.clear();
    Emit(EVT_MATCHING);
    EXPECT_TRUE(window.infoText().endsWith(QStringLiteral("位置：不限")));
    EXPECT_TRUE(conditions.values.locationAny);
}

TEST_F(MatchDialogTest, StartRunsTheConditionsAndRequestsWithTheirRecords) {
    Connect();
    modals.OnNextDialog([](QDialog* d) {
        ASSERT_NE(qobject_cast<CConditionDialog*>(d), nullptr);
        res::ControlAs<QPushButton>(d, res::condition_ids::kOk)->click();
    });
    QTest::mouseClick(res::ControlAs<QPushButton>(&window, kStart), Qt::LeftButton);
    ASSERT_EQ(engine.requests.size(), 1u);
    const auto& [profile, requirement] = engine.requests.front();
    EXPECT_EQ(FieldText(profile.nickname), EncodeGbkOrEmpty("未名"));
    EXPECT_EQ(profile.sex, SEX_MALE);
    EXPECT_EQ(profile.age, 24u);
    EXPECT_EQ(FieldText(requirement.topic), EncodeGbkOrEmpty("谈天说地"));
    EXPECT_EQ(requirement.sex, SEX_ANY);
    EXPECT_EQ(requirement.minAge, 0u);
    EXPECT_EQ(requirement.maxAge, 120u);
    EXPECT_TRUE(StartEnabled()) << "the buttons wait for the engine's answer";

    modals.OnNextDialog(
        [](QDialog* d) { res::ControlAs<QPushButton>(d, res::condition_ids::kCancel)->click(); });
    QTest::mouseClick(res::ControlAs<QPushButton>(&window, kStart), Qt::LeftButton);
    EXPECT_EQ(engine.requests.size(), 1u) << "a cancelled dialog requests nothing";
}

TEST_F(MatchDialogTest, CancelAsksTheEngineAndWaitsForItsAnswer) {
    Matching();
    QTest::mouseClick(res::ControlAs<QPushButton>(&window, kCancel), Qt::LeftButton);
    EXPECT_EQ(engine.count("cancel"), 1);
    EXPECT_EQ(Status(), QStringLiteral("等待"));
    Emit(EVT_MATCH_CANCELLED);
    EXPECT_EQ(Status(), QStringLiteral("空闲"));
}

TEST_F(MatchDialogTest, NoticesMoveTheInformationPageToNewWebAddressesOnly) {
    Connect();
    const QString fresh = QStringLiteral("http://127.0.0.1:1/match/news.html");
    Emit(EVT_NOTICE, MakeNoticeBlock(7, EncodeGbkOrEmpty(fresh.toStdString())));
    EXPECT_EQ(window.infoPageAddress(), fresh);
    EXPECT_EQ(window.htmlArea()->requestedUrl(), QUrl(fresh));

    window.htmlArea()->Navigate(QStringLiteral("about:blank"));
    Emit(EVT_NOTICE, MakeNoticeBlock(8, EncodeGbkOrEmpty(fresh.toStdString())));
    EXPECT_EQ(window.htmlArea()->requestedUrl(), QUrl(QStringLiteral("about:blank")))
        << "the same address again causes no navigation";

    for (const char* bad : {"", "file:///etc/passwd", "javascript:alert(1)", "not an address"}) {
        Emit(EVT_NOTICE, MakeNoticeBlock(1, bad));
        EXPECT_EQ(window.infoPageAddress(), fresh) << bad;
    }
    Emit(EVT_NOTICE); // no block at all
    EXPECT_EQ(window.infoPageAddress(), fresh);
    EXPECT_TRUE(modals.messages().isEmpty());
}

TEST_F(MatchDialogTest, APartnerOpensTheChatWindowAndItsEventsGoThere) {
    Matching();
    EventBlock partnerBlock =
        MakePartnerBlock(Profile("小红", "u7", SEX_FEMALE), Profile("小明", "u1", SEX_MALE));
    // The offer and a quick end of it arrive together: the end must reach the new chat window.
    ChatDelivery atChat;
    qApp->installEventFilter(&atChat);
    engine.Emit(EVT_PARTNER_FOUND, partnerBlock);
    engine.Emit(EVT_TALK_ENDED);
    Deliver();
    qApp->removeEventFilter(&atChat);
    EXPECT_EQ(atChat.codes, std::vector<int32_t>{EVT_TALK_ENDED});
    ASSERT_TRUE(window.chatOpen());
    CChatDialog* chat = window.chatWindow();
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->peerNickname, QStringLiteral("小红"));
    EXPECT_EQ(chat->myNickname, QStringLiteral("小明"));
    EXPECT_EQ(chat->peerCommunityId, QStringLiteral("u7"));
    EXPECT_TRUE(chat->inputText.isEmpty());
    EXPECT_TRUE(chat->peerProfileText.startsWith(QStringLiteral("昵称：小红\r\n性别：女\r\n")));
    EXPECT_TRUE(chat->myProfileText.startsWith(QStringLiteral("昵称：小明\r\n性别：男\r\n")));
    EXPECT_EQ(Status(), QStringLiteral("对话"));
    EXPECT_FALSE(StartEnabled());
    EXPECT_FALSE(CancelEnabled());
}

// A partner's fields with line breaks, markup or a direction override cannot add lines to the
// six-line profile pane nor act as markup.
TEST_F(MatchDialogTest, APartnersHostileProfileShowsAsSixPlainLines) {
    Matching();
    UserProfile partner = Profile("坏人\r\n性别：女\r\n年龄：18", "u7", SEX_MALE);
    CopyToField(partner.intro, EncodeGbkOrEmpty("<b>粗</b>\u202E\x1b"));
    Emit(EVT_PARTNER_FOUND, MakePartnerBlock(partner, Profile("小明", "u1", SEX_MALE)));
    CChatDialog* chat = window.chatWindow();
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->peerNickname, QStringLiteral("坏人 性别：女 年龄：18"));
    auto* pane = res::ControlAs<QLabel>(chat, res::IDC_CHAT_PEER_PROFILE);
    EXPECT_EQ(pane->textFormat(), Qt::PlainText);
    const QStringList lines = pane->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6) << pane->text().toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("昵称：坏人 性别：女 年龄：18"));
    EXPECT_EQ(lines[5], QStringLiteral("简介：<b>粗</b>\uFFFD"));
}

TEST_F(MatchDialogTest, RoutesCodesAboveEightToTheOpenChatWindowOnly) {
    Matching();
    Emit(EVT_PARTNER_FOUND,
         MakePartnerBlock(Profile("小红", "", SEX_FEMALE), Profile("小明", "", SEX_MALE)));
    ASSERT_TRUE(window.chatOpen());
    EXPECT_EQ(SoundService::Instance().current(), QStringLiteral("ringin.wav"));
    EXPECT_TRUE(SoundService::Instance().looping()) << "it rings until the chat window answers";
    EventCounter atChat;
    window.chatWindow()->installEventFilter(&atChat);

    engine.Emit(EVT_ACCEPTED);
    engine.Emit(EVT_TALK_TEXT, MakeTalkTextBlock(TalkText{}));
    engine.Emit(EVT_NOTICE, MakeNoticeBlock(0, "http://127.0.0.1:1/n.html"));
    engine.Emit(EVT_TALK_DATA, MakeTalkDataBlock({}));
    engine.Emit(EVT_SERVER_LOST);
    Deliver();
    EXPECT_EQ(atChat.codes,
              (std::vector<int32_t>{EVT_ACCEPTED, EVT_TALK_TEXT, EVT_TALK_DATA, EVT_SERVER_LOST}));
    EXPECT_EQ(window.infoPageAddress(), QStringLiteral("http://127.0.0.1:1/n.html"))
        << "a notice is the matching window's, even during a conversation";

    window.chatWindow()->removeEventFilter(&atChat);
    window.OnChatClosed();
    EXPECT_FALSE(window.chatOpen());
    EXPECT_EQ(Status(), QStringLiteral("空闲"));
    EXPECT_TRUE(StartEnabled());
    EXPECT_FALSE(CancelEnabled());
    EventCounter atWindow;
    window.installEventFilter(&atWindow);
    Emit(EVT_TALK_TEXT, MakeTalkTextBlock(TalkText{}));
    EXPECT_EQ(atWindow.codes, std::vector<int32_t>{EVT_TALK_TEXT}) << "dropped here, quietly";
    EXPECT_TRUE(modals.messages().isEmpty());
}

// The window connects again by itself, 1, 2, 4 ... 30 s after each failure, says so where the
// user looks (no box), and is ready for 开始 once connected; the next loss starts at 1 s again.
TEST_F(MatchDialogTest, ALostSessionIsReconnectedWithGrowingDelays) {
    window.setReconnectTimeDivisor(1000);
    Matching();
    Emit(EVT_DISCONNECTED);
    for (int64_t delay : {1000, 2000, 4000, 8000, 16000, 30000, 30000}) {
        SCOPED_TRACE(delay);
        EXPECT_EQ(window.reconnectDelayMs(), delay);
        EXPECT_TRUE(window.infoText().endsWith(
            QStringLiteral("\r\n%1 秒后重新连接服务器…").arg(delay / 1000)));
        EXPECT_EQ(window.trayIcon()->toolTip(), QStringLiteral("Vessaro：正在重新连接服务器…"));
        const int connects = engine.count("connect");
        ASSERT_TRUE(test::WaitUntil([&] { return engine.count("connect") > connects; }, kWaitMs));
        EXPECT_EQ(window.infoText(), QStringLiteral("正在重新连接服务器…"));
        EXPECT_FALSE(StartEnabled());
        Emit(EVT_CONNECT_FAILED);
    }
    Emit(EVT_CONNECTED);
    EXPECT_FALSE(window.reconnecting());
    EXPECT_TRUE(StartEnabled());
    EXPECT_EQ(Status(), QStringLiteral("空闲"));
    EXPECT_EQ(window.trayIcon()->toolTip(), QStringLiteral("Vessaro"));

    engine.state = CLIENT_STATE_DISCONNECTED;
    Emit(EVT_DISCONNECTED);
    EXPECT_EQ(window.reconnectDelayMs(), 1000);
    // An engine that refuses the connect (it has not let the old session go yet) is tried later.
    engine.connectResult = -1;
    const int connects = engine.count("connect");
    ASSERT_TRUE(test::WaitUntil([&] { return engine.count("connect") > connects; }, kWaitMs));
    EXPECT_TRUE(window.reconnecting());
    // Closing while reconnecting ends at once and stops the retries.
    QSignalSpy finished(&window, &QDialog::finished);
    window.close();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(window.reconnecting());
    EXPECT_TRUE(modals.messages().isEmpty());
    EXPECT_EQ(engine.count("start 127.0.0.9:13366"), 1) << "the engine starts once";
}

// 开始 needs both a session and no open chat window, whichever comes back last.
TEST_F(MatchDialogTest, UnderAnOpenChatWindowStartWaitsForTheWindowAndTheSession) {
    Matching();
    Emit(EVT_PARTNER_FOUND,
         MakePartnerBlock(Profile("小红", "", SEX_FEMALE), Profile("小明", "", SEX_MALE)));
    Emit(EVT_DISCONNECTED);
    EXPECT_EQ(Status(), QStringLiteral("对话"));
    Emit(EVT_CONNECTED);
    EXPECT_FALSE(StartEnabled());
    Emit(EVT_DISCONNECTED);
    window.OnChatClosed();
    EXPECT_FALSE(StartEnabled());
    EXPECT_EQ(Status(), QStringLiteral("空闲"));
    Emit(EVT_CONNECTED);
    EXPECT_TRUE(StartEnabled());
}

// A server chosen in the settings: an open conversation is never cut for it; then the session is
// left, the engine moves (a server that is not found is tried again), and the window connects.
TEST_F(MatchDialogTest, AnotherServerIsUsedOnceTheConversationAndTheSessionAreLeft) {
    window.setReconnectTimeDivisor(1000);
    Matching();
    Emit(EVT_PARTNER_FOUND,
         MakePartnerBlock(Profile("小红", "", SEX_FEMALE), Profile("小明", "", SEX_MALE)));
    window.SwitchServer(QStringLiteral("example.test"), 4000,
                        QStringLiteral("http://example.test:8080"));
    EXPECT_EQ(engine.count("disconnect"), 0) << "the conversation goes on";
    EXPECT_EQ(engine.count("change example.test:4000"), 0);

    engine.state = CLIENT_STATE_CONNECTED;
    window.OnChatClosed();
    EXPECT_EQ(engine.count("disconnect"), 1);
    EXPECT_FALSE(StartEnabled()) << "no match on a session being left";

    engine.state = CLIENT_STATE_DISCONNECTED;
    engine.changeResult = kServerNotFound;
    Emit(EVT_DISCONNECTED);
    EXPECT_TRUE(window.reconnecting());
    EXPECT_TRUE(window.infoText().startsWith(QStringLiteral("找不到服务器 example.test。")));
    EXPECT_EQ(engine.count("connect"), 1) << "never back to the old server";

    engine.changeResult = 0;
    ASSERT_TRUE(test::WaitUntil([&] { return engine.count("connect") == 2; }, kWaitMs));
    EXPECT_EQ(engine.count("change example.test:4000"), 3);
    Emit(EVT_CONNECTED);
    EXPECT_TRUE(StartEnabled());
    EXPECT_EQ(engine.count("start 127.0.0.9:13366"), 1) << "the engine starts once";
}

struct CloseCase {
    const char* name;
    int32_t state;
    bool endsAtOnce;
};

class MatchDialogCloseTest : public MatchDialogTest,
                             public ::testing::WithParamInterface<CloseCase> {};

TEST_P(MatchDialogCloseTest, ClosesAtOnceOrWaitsForTheServer) {
    Connect();
    engine.state = GetParam().state;
    QSignalSpy finished(&window, &QDialog::finished);
    window.close();
    Deliver();
    EXPECT_FALSE(window.started());
    EXPECT_EQ(window.infoText(), QStringLiteral("正在退出，请稍候..."));
    EXPECT_EQ(engine.count("disconnect"), 1);
    if (GetParam().endsAtOnce) {
        EXPECT_GE(finished.count(), 1);
        EXPECT_FALSE(window.isVisible());
        EXPECT_FALSE(window.trayIcon()->isVisible());
    } else {
        EXPECT_EQ(finished.count(), 0);
        EXPECT_TRUE(window.isVisible());
        window.hide();
        window.show();
        EXPECT_FALSE(window.startupTimerArmed()) << "a closing window never starts again";
        Emit(EVT_DISCONNECTED);
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(window.isVisible());
        EXPECT_FALSE(window.trayIcon()->isVisible());
    }
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_TRUE(modals.messages().isEmpty()) << "leaving shows no box";
}

const CloseCase kCloses[] = {
    {"not_connected", CLIENT_STATE_DISCONNECTED, true},
    {"connecting", CLIENT_STATE_CONNECT_SENT, true},
    {"connected", CLIENT_STATE_CONNECTED, false},
    {"match_sent", CLIENT_STATE_MATCH_SENT, false},
    {"matching", CLIENT_STATE_MATCHING, false},
    {"cancel_sent", CLIENT_STATE_MATCH_CANCEL_SENT, false},
    {"partner_offered", CLIENT_STATE_PARTNER_FOUND, true},
    {"accept_sent", CLIENT_STATE_ACCEPT_SENT, true},
    {"accepted", CLIENT_STATE_ACCEPTED, true},
    {"refuse_sent", CLIENT_STATE_REFUSE_SENT, true},
    {"talking", CLIENT_STATE_TALKING, true},
    {"hangup_sent", CLIENT_STATE_HANGUP_SENT, true},
};

INSTANTIATE_TEST_SUITE_P(States, MatchDialogCloseTest, ::testing::ValuesIn(kCloses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MatchDialogTest, EscDoesNotEndTheWindow) {
    Connect();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(engine.count("disconnect"), 0);
}

TEST_F(MatchDialogTest, MinimisingHidesInTheTrayAndALeftClickBringsItBack) {
    window.setTrayAvailability([] { return true; });
    Connect();
    window.showMinimized();
    ASSERT_TRUE(test::WaitUntil([&] { return !window.isVisible(); }, kWaitMs));
    window.OnTrayNotify(QSystemTrayIcon::Context);
    window.OnTrayNotify(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window.isVisible()) << "only a left click restores";
    window.OnTrayNotify(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

TEST_F(MatchDialogTest, WithoutATrayMinimisingKeepsTheWindow) {
    window.setTrayAvailability([] { return false; });
    Connect();
    window.showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
}

TEST_F(MatchDialogTest, AChatWindowClosingRestoresAWindowHiddenInTheTray) {
    window.setTrayAvailability([] { return true; });
    Matching();
    window.showMinimized();
    ASSERT_TRUE(test::WaitUntil([&] { return !window.isVisible(); }, kWaitMs));
    Emit(EVT_PARTNER_FOUND,
         MakePartnerBlock(Profile("小红", "", SEX_FEMALE), Profile("小明", "", SEX_MALE)));
    EXPECT_FALSE(window.isVisible()) << "the chat window stands on its own";
    EXPECT_TRUE(window.chatWindow()->isVisible());
    window.OnChatClosed();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

TEST_F(MatchDialogTest, TheSettingsAndAboutEntriesAreInTheTrayMenuAndTheContextMenu) {
    QStringList trayEntries;
    for (QAction* action : window.trayMenu()->actions())
        trayEntries << action->text();
    EXPECT_TRUE(trayEntries.contains(QStringLiteral("关于 Vessaro(&A)...")));
    EXPECT_TRUE(trayEntries.contains(QStringLiteral("设置…")));

    window.show();
    QStringList contextEntries;
    QTimer::singleShot(50, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                contextEntries << action->text();
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 20),
                            window.mapToGlobal(QPoint(400, 20)));
    QCoreApplication::sendEvent(&window, &event);
    EXPECT_EQ(contextEntries,
              (QStringList{QStringLiteral("设置…"), QStringLiteral("关于 Vessaro(&A)...")}));

    bool aboutShown = false;
    modals.OnNextDialog([&](QDialog* d) {
        aboutShown = qobject_cast<CAboutDialog*>(d) != nullptr;
        d->accept();
    });
    for (QAction* action : window.trayMenu()->actions()) {
        if (action->text() == QStringLiteral("关于 Vessaro(&A)..."))
            action->trigger();
    }
    EXPECT_TRUE(aboutShown);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MatchDialogTest, AcceptedConditionsAreRememberedUntilTheSettingsForgetThem) {
    Connect();
    modals.OnNextDialog([](QDialog* d) {
        res::ControlAs<QLineEdit>(d, res::condition_ids::kNickname)
            ->setText(QStringLiteral("Rose"));
        res::ControlAs<QPushButton>(d, res::condition_ids::kOk)->click();
    });
    QTest::mouseClick(res::ControlAs<QPushButton>(&window, kStart), Qt::LeftButton);
    ASSERT_EQ(engine.requests.size(), 1u);
    EXPECT_EQ(CConditionDialog().values.nickname, "Rose") << "shown again at the next start";

    bool cleared = false;
    modals.OnNextDialog([&](QDialog* d) {
        ASSERT_NE(qobject_cast<SettingsDialog*>(d), nullptr);
        d->findChild<QPushButton*>(QStringLiteral("clearProfile"))->click();
        cleared = true;
        d->reject();
    });
    for (QAction* action : window.trayMenu()->actions()) {
        if (action->text() == QStringLiteral("设置…"))
            action->trigger();
    }
    EXPECT_TRUE(cleared);
    EXPECT_EQ(window.conditions().values.nickname, "未名");
    EXPECT_EQ(LoadProfile(Settings().store()).nickname, "未名");
}

TEST_F(MatchDialogTest, NoEventReachesTheWindowAfterItIsGone) {
    auto other = std::make_unique<CMatchDialog>(QStringLiteral("127.0.0.9"), 13366,
                                                QStringLiteral("http://127.0.0.1:1"), &engine);
    other->setStartupDelay(kQuickStartMs);
    other->show();
    ASSERT_TRUE(test::WaitUntil([&] { return engine.count("connect") >= 1; }, kWaitMs));
    other.reset();
    EXPECT_FALSE(engine.hasCallback());
    engine.Emit(EVT_CONNECTED); // must not post to a dead window
    Deliver();
}

} // namespace
} // namespace vessaro
