// The matching window on the real engine: no server answers at first, so the connect fails; the
// window tries again by itself and connects once a vessaro-server has come up, then moves to
// another server. The engine starts once per process: one flow only.
#include "CMatchDialog.h"

#include "ClientInterface.h"
#include "ClientStates.h"
#include "ClientTransport.h"
#include "DialogBuilder.h"
#include "MatchDialogTemplate.h"
#include "ModalDriver.h"
#include "ServerProcess.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace vessaro {
namespace {

using namespace res::match_ids;

TEST(ReconnectFlowTest, AFailedConnectIsRetriedUntilTheServerIsUp) {
    test::ModalDriver modals;
    test::ServerProcess server(test::ServerProcess::WebPages::None);
    CMatchDialog window(server.address(), server.port(), server.webUrl());
    window.setStartupDelay(5);

    window.show();
    // Three unanswered connects, a second apart, end the first attempt.
    ASSERT_TRUE(test::WaitUntil([&] { return window.reconnecting(); }, 10000));
    EXPECT_TRUE(window.infoText().startsWith(QStringLiteral("连接服务器失败。")));
    EXPECT_FALSE(res::Control(&window, kStart)->isEnabled());

    ASSERT_TRUE(server.Start()) << server.output().toStdString();
    ASSERT_TRUE(test::WaitUntil(
        [&] { return window.infoText() == QStringLiteral("连接服务器成功！"); }, 15000))
        << window.infoText().toStdString();
    EXPECT_EQ(ClientState(), CLIENT_STATE_CONNECTED);
    EXPECT_TRUE(res::Control(&window, kStart)->isEnabled());
    EXPECT_FALSE(window.reconnecting());

    // Another server chosen while connected: the session is left and the window connects there.
    test::ServerProcess second(test::ServerProcess::WebPages::None);
    ASSERT_TRUE(second.Start()) << second.output().toStdString();
    window.SwitchServer(second.address(), second.port(), second.webUrl());
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            return ServerPort() == second.port() && ClientState() == CLIENT_STATE_CONNECTED &&
                   window.infoText() == QStringLiteral("连接服务器成功！");
        },
        15000))
        << window.infoText().toStdString();
    EXPECT_TRUE(modals.messages().isEmpty()) << modals.messages().join('|').toStdString();
}

} // namespace
} // namespace vessaro
