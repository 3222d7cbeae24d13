// The matching window on the real engine against a real vessaro-server, with vessaro-cli as the
// partner: a match opens the chat window with both profiles, and closing the matching window
// while the offer is open ends the program's windows at once. The engine starts once per
// process: one flow only.
#include "CMatchDialog.h"

#include "CliPartner.h"
#include "ClientInterface.h"
#include "ClientStates.h"
#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "MatchDialogTemplate.h"
#include "ModalDriver.h"
#include "ServerProcess.h"
#include "WaitUntil.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

using namespace res::match_ids;
constexpr int kWaitMs = 15000;

TEST(PartnerFlowTest, APartnerOpensTheChatWindowAndClosingDuringTheOfferEndsAtOnce) {
    test::ServerProcess server;
    ASSERT_TRUE(server.Start()) << server.output().toStdString();
    // Waiting for a partner and accepting whoever comes.
    test::CliPartner partner;
    ASSERT_TRUE(partner.Start(
        {QStringLiteral("--server"), server.address(), QStringLiteral("--port"),
         QString::number(server.port()), QStringLiteral("--nickname"), QStringLiteral("小红"),
         QStringLiteral("--sex"), QStringLiteral("female"), QStringLiteral("--age"),
         QStringLiteral("22"), QStringLiteral("--community-id"), QStringLiteral("hong22"),
         QStringLiteral("--auto-match"), QStringLiteral("--auto-accept"),
         QStringLiteral("--json")}));
    test::ModalDriver modals;
    CMatchDialog window(server.address(), server.port(), server.webUrl());
    QSignalSpy finished(&window, &QDialog::finished);

    window.show();
    ASSERT_TRUE(test::WaitUntil([&] { return ClientState() == CLIENT_STATE_CONNECTED; }, kWaitMs));
    // The window, not only the engine, must know of the session before Start is pressed.
    ASSERT_TRUE(
        test::WaitUntil([&] { return res::Control(&window, kStart)->isEnabled(); }, kWaitMs));
    modals.OnNextDialog([](QDialog* conditions) {
        res::ControlAs<QPushButton>(conditions, res::condition_ids::kOk)->click();
    });
    QTest::mouseClick(res::ControlAs<QPushButton>(&window, kStart), Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return window.chatOpen(); }, kWaitMs))
        << partner.transcript().toStdString();

    QPointer<CChatDialog> chat = window.chatWindow();
    ASSERT_FALSE(chat.isNull());
    EXPECT_TRUE(chat->isVisible());
    EXPECT_EQ(chat->peerNickname, QStringLiteral("小红"));
    EXPECT_EQ(chat->peerCommunityId, QStringLiteral("hong22"));
    EXPECT_EQ(chat->myNickname, QStringLiteral("未名"));
    EXPECT_TRUE(chat->peerProfileText.contains(QStringLiteral("年龄：22")));
    EXPECT_EQ(res::ControlAs<QLabel>(&window, kStatus)->text(), QStringLiteral("对话"));
    EXPECT_FALSE(res::Control(&window, kStart)->isEnabled());
    EXPECT_FALSE(res::Control(&window, kCancel)->isEnabled());
    EXPECT_EQ(ClientState(), CLIENT_STATE_PARTNER_FOUND);

    window.close();
    EXPECT_EQ(finished.count(), 1) << "an offer under way: the window ends at once";
    EXPECT_EQ(ClientState(), CLIENT_STATE_PARTNER_FOUND) << "nothing was sent to leave";
    EXPECT_TRUE(modals.messages().isEmpty()) << modals.messages().join('|').toStdString();
}

} // namespace
} // namespace vessaro
