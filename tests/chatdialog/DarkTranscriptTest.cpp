#include "CHtmlCtrl.h"

#include "ChatEntry.h"
#include "TranscriptPage.h"
#include "WaitUntil.h"

#include <QSignalSpy>
#include <QWebEngineScript>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

constexpr int kWaitMs = 30000;

// Runs the expression in the view's script world and gives its value as text.
QString Evaluate(CHtmlCtrl& view, const QString& expression) {
    QString value;
    bool done = false;
    view.page()->runJavaScript(expression, QWebEngineScript::ApplicationWorld,
                               [&](const QVariant& result) {
                                   value = result.toString();
                                   done = true;
                               });
    test::WaitUntil([&] { return done; }, kWaitMs);
    return value;
}

// The transcript page in the dark skin: dark ground and light named colours, until switched back.
TEST(DarkTranscriptTest, DarkColoursFollowTheSwitchOnEveryPage) {
    CHtmlCtrl view;
    view.resize(300, 200);
    view.show();
    ChatEntry entry{"peer", "12:00:00", "Blue", "hello"};
    const auto load = [&] {
        QSignalSpy finished(&view, &QWebEngineView::loadFinished);
        view.LoadHtml(BuildPage({entry}));
        ASSERT_TRUE(test::WaitUntil([&] { return finished.count() > 0; }, kWaitMs));
    };
    const QString ground = QStringLiteral("getComputedStyle(document.body).backgroundColor");
    const QString label =
        QStringLiteral("getComputedStyle(document.querySelector('font[color]')).color");

    view.SetDarkColours(true);
    load();
    EXPECT_EQ(Evaluate(view, ground), QStringLiteral("rgb(30, 34, 40)"));
    EXPECT_EQ(Evaluate(view, label), QStringLiteral("rgb(127, 176, 255)"));

    view.SetDarkColours(false);
    EXPECT_EQ(Evaluate(view, label), QStringLiteral("rgb(0, 0, 255)")) << "the page's own";
}

} // namespace
} // namespace vessaro
