#include "ChatWindowFixture.h"

#include "CHtmlCtrl.h"

#include <QSignalSpy>

namespace vessaro::test {
namespace {

// Pictures of the window in its three main phases, for people to look at: offered, talking (a
// few Chinese lines and a link) and ended.
class ChatScreenshotTest : public ChatWindowTest {
protected:
    // Waits until the transcript view has shown the latest page, then saves the window.
    void Shoot(const char* name) {
        auto* view = res::ControlAs<CHtmlCtrl>(dialog, res::IDC_CHAT_TRANSCRIPT);
        ASSERT_NE(view, nullptr);
        const std::string expected = dialog->BuildPage();
        const QString lastLine = QString::fromStdString(DecodeGbk(LastEntry().messageText))
                                     .section(QLatin1Char('\n'), -1)
                                     .left(8);
        bool shown = false;
        ASSERT_TRUE(WaitUntil(
            [&] {
                if (!shown)
                    view->page()->toPlainText(
                        [&](const QString& text) { shown = text.contains(lastLine); });
                return shown;
            },
            10000));
        QTest::qWait(300); // let the page's own scroll to the newest lines land
        EXPECT_FALSE(SaveScreenshot(dialog, QStringLiteral("chat-%1").arg(name)).isEmpty());
    }
};

TEST_F(ChatScreenshotTest, OfferedTalkingEnded) {
    Shoot("offered");

    StartTalking();
    auto receive = [&](const char* text) {
        Post(EVT_TALK_TEXT, MakeTalkTextBlock(MakeTalkText(Gbk(text))));
    };
    auto send = [&](const QString& text) {
        Input()->setPlainText(text);
        QTest::keyClick(Input(), Qt::Key_Return);
    };
    receive("你好！很高兴认识你。");
    send(QStringLiteral("你好，我也是。周末去看展览吗？"));
    receive("好啊，展览介绍在这里 http://www.example.com/expo 你看看");
    send(QStringLiteral("看到了，不错！\r\n那就周六上午十点见。"));
    Input()->setPlainText(QStringLiteral("好的"));
    Shoot("talking");

    EndTalking();
    Shoot("ended");
}

} // namespace
} // namespace vessaro::test
