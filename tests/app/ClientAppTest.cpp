#include "CClientApp.h"

#include "ModalDriver.h"
#include "Strings.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

// Records the order of the application's steps.
struct Steps {
    QStringList log;
    int windowsMade = 0;

    AppServices Services(bool socketsWork, std::function<void(QDialog&)> lifeOfWindow) {
        AppServices s;
        s.socketSupport = [this, socketsWork] {
            log << "sockets";
            return socketsWork;
        };
        s.loadSkin = [this](const QString& file) { log << "skin on " + file; };
        s.removeSkin = [this] { log << "skin off"; };
        s.stopEngine = [this] { log << "engine stopped"; };
        s.showError = [this](const QString& text) { log << "error " + text; };
        s.createMainWindow = [this, lifeOfWindow] {
            ++windowsMade;
            log << "window";
            auto window = std::make_unique<QDialog>();
            QDialog* raw = window.get();
            QObject::connect(raw, &QDialog::finished, [this] { log << "window ended"; });
            QTimer::singleShot(0, raw, [raw, lifeOfWindow] { lifeOfWindow(*raw); });
            return window;
        };
        return s;
    }
};

TEST(ClientAppTest, WithoutSocketsItReportsAndMakesNoWindowAndNoSkin) {
    Steps steps;
    CClientApp app(steps.Services(false, [](QDialog&) {}));
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(steps.log, (QStringList{"sockets", "error 无法打开网络套接字。"}));
    EXPECT_EQ(steps.windowsMade, 0);
}

TEST(ClientAppTest, TheSkinGoesOnBeforeTheWindowAndOffOnceAfterIt) {
    using End = std::function<void(QDialog&)>;
    const End ends[] = {
        [](QDialog& w) { w.reject(); },
        [](QDialog& w) { w.accept(); },
        [](QDialog& w) { w.done(7); },
    };
    for (const End& end : ends) {
        Steps steps;
        CClientApp app(steps.Services(true, end));
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(steps.log, (QStringList{"sockets", "skin on media.u3", "window", "window ended",
                                          "engine stopped", "skin off"}));
    }
}

TEST(ClientAppTest, HidingTheWindowDoesNotEndTheProgram) {
    Steps steps;
    bool hiddenAndStillRunning = false;
    CClientApp app(steps.Services(true, [&](QDialog& w) {
        w.hide();
        QTimer::singleShot(20, &w, [&] {
            hiddenAndStillRunning = !steps.log.contains("window ended");
            w.reject();
        });
    }));
    app.InitInstance();
    EXPECT_TRUE(hiddenAndStillRunning);
    EXPECT_EQ(steps.log.count("skin off"), 1);
}

TEST(ClientAppTest, TheStringTableHoldsTheTwoStrings) {
    EXPECT_EQ(res::LoadResString(res::kIdsAboutBox), QStringLiteral("关于 Vessaro(&A)..."));
    EXPECT_EQ(res::LoadResString(res::kIdsSocketsInitFailed),
              QStringLiteral("无法打开网络套接字。"));
    EXPECT_TRUE(res::LoadResString(102).isEmpty());
}

} // namespace
} // namespace vessaro
