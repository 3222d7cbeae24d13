// The matching window on the real engine against a real vessaro-server: connect, start a match,
// cancel it, and leave in an orderly way. The engine starts once per process: one flow only.
#include "CMatchDialog.h"

#include "CHtmlCtrl.h"
#include "ClientInterface.h"
#include "ClientStates.h"
#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "MatchDialogTemplate.h"
#include "ModalDriver.h"
#include "ServerProcess.h"
#include "SkinService.h"
#include "WaitUntil.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

using namespace res::match_ids;
constexpr int kWaitMs = 10000;

QString Status(const CMatchDialog& window) {
    return res::ControlAs<QLabel>(&window, kStatus)->text();
}

void WaitForPage(CMatchDialog& window) {
    EXPECT_TRUE(test::WaitUntil([&] { return !window.htmlArea()->page()->isLoading(); }, kWaitMs));
}

TEST(MatchFlowTest, ConnectsMatchesCancelsAndLeavesInOrder) {
    test::ServerProcess server;
    ASSERT_TRUE(server.Start()) << server.output().toStdString();
    test::ModalDriver modals;
    SkinService::Instance().Load(QStringLiteral(VESSARO_DEFAULT_SKIN)); // as the program runs
    CMatchDialog window(server.address(), server.port(), server.webUrl());
    QSignalSpy finished(&window, &QDialog::finished);

    window.show();
    ASSERT_TRUE(test::WaitUntil(
        [&] { return window.infoText() == QStringLiteral("连接服务器成功！"); }, kWaitMs))
        << window.infoText().toStdString();
    EXPECT_EQ(ClientState(), CLIENT_STATE_CONNECTED);
    EXPECT_TRUE(res::Control(&window, kStart)->isEnabled());
    EXPECT_FALSE(res::Control(&window, kCancel)->isEnabled());
    WaitForPage(window);
    test::SaveScreenshot(&window, QStringLiteral("match-connected"));

    modals.OnNextDialog([](QDialog* conditions) {
        res::ControlAs<QPushButton>(conditions, res::condition_ids::kOk)->click();
    });
    QTest::mouseClick(res::ControlAs<QPushButton>(&window, kStart), Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return Status(window) == QStringLiteral("等待"); }, kWaitMs));
    EXPECT_EQ(ClientState(), CLIENT_STATE_MATCHING);
    EXPECT_TRUE(window.infoText().startsWith(QStringLiteral("聊天要求：")));
    EXPECT_FALSE(res::Control(&window, kStart)->isEnabled());
    EXPECT_TRUE(res::Control(&window, kCancel)->isEnabled());
    test::SaveScreenshot(&window, QStringLiteral("match-waiting"));

    QTest::mouseClick(res::ControlAs<QPushButton>(&window, kCancel), Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return Status(window) == QStringLiteral("空闲"); }, kWaitMs));
    EXPECT_EQ(ClientState(), CLIENT_STATE_CONNECTED);
    EXPECT_TRUE(res::Control(&window, kStart)->isEnabled());
    EXPECT_FALSE(res::Control(&window, kCancel)->isEnabled());

    window.close();
    EXPECT_EQ(window.infoText(), QStringLiteral("正在退出，请稍候..."));
    EXPECT_EQ(finished.count(), 0) << "the window waits for the server to let it go";
    // The engine thread may have the server's answer already; the window has not seen it yet.
    EXPECT_THAT(ClientState(),
                testing::AnyOf(CLIENT_STATE_DISCONNECT_SENT, CLIENT_STATE_DISCONNECTED));
    ASSERT_TRUE(test::WaitUntil([&] { return finished.count() == 1; }, kWaitMs));
    EXPECT_EQ(ClientState(), CLIENT_STATE_DISCONNECTED);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(modals.messages().isEmpty()) << modals.messages().join('|').toStdString();
    EXPECT_EQ(window.infoPageAddress(), server.webUrl() + QStringLiteral("/match/adv.html"));
    SkinService::Instance().Remove();
}

} // namespace
} // namespace vessaro
