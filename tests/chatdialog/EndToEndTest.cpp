// Two people chat end to end: a vessaro window in this process and a vessaro-cli partner, through
// a real vessaro-server. The engine starts once per process: one flow only.
#include "CChatDialog.h"
#include "CHtmlCtrl.h"
#include "CMatchDialog.h"
#include "ChatDialogTemplate.h"
#include "ChatEntry.h"
#include "ChatTestDoubles.h"
#include "CliPartner.h"
#include "ClientInterface.h"
#include "ClientStates.h"
#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "MatchDialogTemplate.h"
#include "ServerProcess.h"
#include "SoundService.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace vessaro::test {
namespace {

constexpr int kWaitMs = 15000;

QString PageText(CChatDialog* chat) {
    auto* view = res::ControlAs<CHtmlCtrl>(chat, res::IDC_CHAT_TRANSCRIPT);
    QString text;
    bool done = false;
    view->page()->toPlainText([&](const QString& result) {
        text = result;
        done = true;
    });
    WaitUntil([&] { return done; }, kWaitMs);
    return text;
}

// The page the view shows holds the line, once the view has caught up with the transcript.
bool ShownInTheView(CChatDialog* chat, const QString& line) {
    return WaitUntil([&] { return PageText(chat).contains(line); }, kWaitMs);
}

void Type(QWidget* input, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(input, &commit);
}

QString Status(const CMatchDialog& window) {
    return res::ControlAs<QLabel>(&window, res::match_ids::kStatus)->text();
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QPushButton* ChatButton(int id) const { return res::ControlAs<QPushButton>(chat, id); }

    RecordedSounds recorded;
    QStringList& sounds = recorded.log;
    QTemporaryDir folder;
    ModalDriver modals;
    QPointer<CChatDialog> chat;
};

TEST_F(EndToEnd, OfferAcceptTalkHangUpSaveCloseAndBackToIdle) {
    ServerProcess server(ServerProcess::WebPages::None);
    ASSERT_TRUE(server.Start()) << server.output().toStdString();

    CMatchDialog window(server.address(), server.port(), QStringLiteral("http://127.0.0.1:9"));
    window.setStartupDelay(0);
    QSignalSpy finished(&window, &QDialog::finished);
    window.show();
    ASSERT_TRUE(WaitUntil([] { return ClientState() == CLIENT_STATE_CONNECTED; }, kWaitMs));

    CliPartner partner;
    ASSERT_TRUE(
        partner.Start({"--server", server.address(), "--port", QString::number(server.port()),
                       "--json", "--auto-match", "--auto-accept", "--nickname", "远方"}));
    ASSERT_FALSE(partner.WaitFor("matching", kWaitMs).isEmpty())
        << partner.transcript().toStdString();

    // Start a match with the conditions as they are, once the window knows of the session.
    ASSERT_TRUE(WaitUntil(
        [&] { return res::Control(&window, res::match_ids::kStart)->isEnabled(); }, kWaitMs));
    modals.OnNextDialog([](QDialog* conditions) {
        res::ControlAs<QPushButton>(conditions, res::condition_ids::kOk)->click();
    });
    res::ControlAs<QPushButton>(&window, res::match_ids::kStart)->click();

    // Offered: the chat window rings with both profiles.
    ASSERT_TRUE(WaitUntil([&] { return window.chatWindow() != nullptr; }, kWaitMs));
    chat = window.chatWindow();
    EXPECT_EQ(Status(window), QStringLiteral("对话"));
    EXPECT_EQ(sounds.value(0), QStringLiteral("play ringin.wav loop"));
    EXPECT_TRUE(res::ControlAs<QLabel>(chat, res::IDC_CHAT_PEER_PROFILE)->text().contains("远方"));
    EXPECT_FALSE(partner.WaitFor("partner_found", kWaitMs).isEmpty());

    // Both accept: the partner did at once, the user now.
    ChatButton(res::IDC_CHAT_ACCEPT)->click();
    ASSERT_TRUE(WaitUntil([&] { return ChatButton(res::IDC_CHAT_SEND)->isEnabled(); }, kWaitMs));
    EXPECT_FALSE(ChatButton(res::IDC_CHAT_ACCEPT)->isEnabled());
    EXPECT_TRUE(sounds.contains(QStringLiteral("play ringout.wav loop")) ||
                sounds.contains(QStringLiteral("play chimes.wav once")));
    EXPECT_EQ(sounds.constLast(), QStringLiteral("play chimes.wav once"));
    EXPECT_TRUE(ShownInTheView(chat, QStringLiteral("连接已建立，可以开始对话！")));

    // A line from the window reaches the partner...
    auto* input = res::ControlAs<QPlainTextEdit>(chat, res::IDC_CHAT_INPUT);
    Type(input, QStringLiteral("你好，我在窗口这边。"));
    QTest::keyClick(input, Qt::Key_Return);
    EXPECT_TRUE(input->toPlainText().isEmpty()) << "acknowledged, so the box is emptied";
    EXPECT_TRUE(modals.messages().isEmpty()) << modals.messages().join('|').toStdString();
    const QJsonObject heard = partner.WaitFor("talk_text", kWaitMs);
    EXPECT_EQ(heard.value("text").toString(), QStringLiteral("你好，我在窗口这边。"));
    EXPECT_TRUE(ShownInTheView(chat, QStringLiteral("你好，我在窗口这边。")));

    // ...and one from the partner reaches the window, with its link.
    partner.Type(QStringLiteral("你好！看看这个 http://example.com/hi 吧"));
    EXPECT_FALSE(partner.WaitFor("sent", kWaitMs).isEmpty()) << partner.transcript().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return chat->Entries().size() == 4; }, kWaitMs));
    EXPECT_EQ(chat->Entries().back().speakerLabel, Gbk("远方"));
    EXPECT_EQ(chat->Entries().back().colorName, "Blue");
    EXPECT_EQ(sounds.constLast(), QStringLiteral("play ding.wav once"));
    EXPECT_TRUE(ShownInTheView(chat, QStringLiteral("你好！看看这个 http://example.com/hi 吧")));

    // The partner hangs up; the window shows the end.
    partner.Type(QStringLiteral("/hangup"));
    ASSERT_TRUE(WaitUntil([&] { return !ChatButton(res::IDC_CHAT_HANGUP)->isEnabled(); }, kWaitMs));
    EXPECT_FALSE(ChatButton(res::IDC_CHAT_SEND)->isEnabled());
    EXPECT_EQ(sounds.constLast(), QStringLiteral("play over.wav once"));
    EXPECT_TRUE(ShownInTheView(chat, QStringLiteral("对话已结束！点击关闭按钮退出。")));
    EXPECT_EQ(ClientState(), CLIENT_STATE_CONNECTED);

    // Save the conversation, exactly as shown.
    const QString saved = folder.filePath(QStringLiteral("chat.html"));
    modals.OnNextFileDialog([&](QFileDialog* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(saved);
        static_cast<QDialog*>(dialog)->accept();
    });
    chat->findChild<QAction*>(QString::number(res::ID_CHAT_SAVE))->trigger();
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), chat->BuildPage());

    // Close it: the matching window is idle again.
    ChatButton(res::IDC_CHAT_CLOSE)->click();
    EXPECT_TRUE(WaitUntil([&] { return chat.isNull(); }, kWaitMs));
    EXPECT_EQ(sounds.constLast(), QStringLiteral("stop"));
    EXPECT_EQ(Status(window), QStringLiteral("空闲"));
    EXPECT_FALSE(window.chatOpen());
    EXPECT_TRUE(res::ControlAs<QPushButton>(&window, res::match_ids::kStart)->isEnabled());
    EXPECT_FALSE(res::ControlAs<QPushButton>(&window, res::match_ids::kCancel)->isEnabled());
    EXPECT_TRUE(window.isVisible());

    // Both leave in order.
    partner.Type(QStringLiteral("/quit"));
    EXPECT_TRUE(partner.WaitForExit(kWaitMs));
    window.close();
    EXPECT_TRUE(WaitUntil([&] { return finished.count() == 1; }, kWaitMs));
    EXPECT_EQ(ClientState(), CLIENT_STATE_DISCONNECTED);
    EXPECT_TRUE(modals.messages().isEmpty()) << modals.messages().join('|').toStdString();
}

} // namespace
} // namespace vessaro::test
