#include "ChatWindowFixture.h"

#include "AppSettings.h"
#include "Notifications.h"
#include "TrayMark.h"

#include <QSystemTrayIcon>
#include <QTemporaryDir>

namespace vessaro::test {
namespace {

struct Shown {
    QString title;
    QString body;
};

class RecordingNotifier : public Notifier {
public:
    explicit RecordingNotifier(std::vector<Shown>* log) : log_(log) {}
    void Notify(const QString& title, const QString& body) override {
        log_->push_back({title, body});
    }

private:
    std::vector<Shown>* log_;
};

// The chat window with another window of the user's in front, the notifications recorded and the
// tray icon's mark watched.
class ChatNotificationsTest : public ChatWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        UseSettingsFile(folder.filePath(QStringLiteral("vessaro.conf")));
        ChatWindowTest::SetUp();
        Notifications::Instance().SetNotifier(std::make_unique<RecordingNotifier>(&shown));
        Notifications::Instance().SetTrayMark(&mark);
        StartTalking();
        Activate(&elsewhere);
    }
    void TearDown() override {
        Notifications::Instance().SetNotifier(nullptr);
        Notifications::Instance().SetTrayMark(nullptr);
        ChatWindowTest::TearDown();
    }

    static void Activate(QWidget* window) {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    QTemporaryDir folder;
    std::vector<Shown> shown;
    QSystemTrayIcon tray;
    TrayMark mark{&tray, QIcon()};
    QWidget elsewhere;
};

TEST_F(ChatNotificationsTest, PartnerLineIsAnnouncedSafelyAndMarkedUntilTheWindowIsActivated) {
    const struct {
        std::string gbk;
        QString body;
    } cases[] = {
        {Gbk("你好"), QStringLiteral("你好")},
        {Gbk("\u202Eevil\r\nnext\x1b line  "), QStringLiteral("evil next\uFFFD line")},
        {std::string(300, 'x'), QString(99, QLatin1Char('x')) + QChar(0x2026)},
    };
    for (const auto& c : cases) {
        shown.clear();
        Post(EVT_TALK_TEXT, MakeTalkTextBlock(MakeTalkText(c.gbk, 0)));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].title, QStringLiteral("小红"));
        EXPECT_EQ(shown[0].body, c.body);
        EXPECT_TRUE(mark.marked());
    }
    Activate(dialog);
    EXPECT_FALSE(mark.marked());

    shown.clear();
    Post(EVT_TALK_TEXT, MakeTalkTextBlock(MakeTalkText("seen", 0)));
    EXPECT_TRUE(shown.empty()) << "the user is looking at it";
    EXPECT_FALSE(mark.marked());
}

TEST_F(ChatNotificationsTest, PartnerLeavingIsNewsButTheUsersOwnHangUpAndMutedOnesAreNot) {
    EndTalking();
    Post(EVT_TALK_ENDED); // the second end the engine may report
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].body, QStringLiteral("对方已离开，对话结束。"));
}

TEST_F(ChatNotificationsTest, OwnHangUpAndSwitchedOffNotificationsStaySilent) {
    Settings().setNotificationsEnabled(false);
    Post(EVT_TALK_TEXT, MakeTalkTextBlock(MakeTalkText("quiet", 0)));
    EXPECT_FALSE(mark.marked());
    Settings().setNotificationsEnabled(true);
    Button(res::IDC_CHAT_HANGUP)->click();
    EndTalking();
    EXPECT_TRUE(shown.empty());
}

} // namespace
} // namespace vessaro::test
