#include "CMatchDialog.h"

#include "AppSettings.h"

#include "Codec.h"
#include "FakeMatchEngine.h"
#include "ModalDriver.h"
#include "Notifications.h"
#include "SoundService.h"
#include "TrayMark.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

struct RecordingNotifier : Notifier {
    explicit RecordingNotifier(QStringList* log) : log(log) {}
    void Notify(const QString& title, const QString& body) override {
        log->append(title + QLatin1Char('|') + body);
    }
    QStringList* log;
};

UserProfile Named(const char* nickname) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, EncodeGbkOrEmpty(nickname));
    return p;
}

void Activate(QWidget* window) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// An offer while the user is in another window is announced and marks the tray icon until the
// chat window is activated; an offer the user sees come is not announced.
class MatchNotificationsTest : public ::testing::TestWithParam<bool> {};

TEST_P(MatchNotificationsTest, OfferIsAnnouncedOnlyWhenTheUserLooksElsewhere) {
    const bool elsewhere = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    UseSettingsFile(folder.filePath(QStringLiteral("vessaro.conf")));
    test::ModalDriver modals;
    test::FakeMatchEngine engine;
    CMatchDialog window(QStringLiteral("127.0.0.9"), 13366, QStringLiteral("http://127.0.0.1:1"),
                        &engine);
    window.setStartupDelay(5);
    QStringList shown;
    Notifications::Instance().SetNotifier(std::make_unique<RecordingNotifier>(&shown));
    ASSERT_NE(Notifications::Instance().trayMark(), nullptr) << "the window sets up the mark";

    Activate(&window);
    ASSERT_TRUE(test::WaitUntil([&] { return engine.count("connect") == 1; }, 5000));
    engine.state = CLIENT_STATE_CONNECTED;
    engine.Emit(EVT_CONNECTED);
    QWidget other;
    if (elsewhere)
        Activate(&other);
    engine.Emit(EVT_PARTNER_FOUND, MakePartnerBlock(Named("小红\u202E"), Named("小明")));
    QCoreApplication::sendPostedEvents();
    ASSERT_NE(window.chatWindow(), nullptr);

    if (!elsewhere) {
        EXPECT_TRUE(shown.isEmpty());
    } else {
        EXPECT_EQ(shown, QStringList{QStringLiteral("找到对话伙伴|小红")});
        EXPECT_TRUE(Notifications::Instance().trayMark()->marked());
        Activate(window.chatWindow());
        EXPECT_FALSE(Notifications::Instance().trayMark()->marked());
    }
    Notifications::Instance().SetNotifier(nullptr);
    SoundService::Instance().Stop();
}

INSTANTIATE_TEST_SUITE_P(UserIs, MatchNotificationsTest, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "Elsewhere" : "InTheMatchingWindow");
                         });

} // namespace
} // namespace vessaro
