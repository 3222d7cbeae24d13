// The matching window on the real engine, closed while its connect request is still unanswered
// (nothing listens on the free port it is given): the engine abandons the attempt and the window
// ends at once. The engine starts once per process: one flow only.
#include "CMatchDialog.h"

#include "ClientInterface.h"
#include "ClientStates.h"
#include "ModalDriver.h"
#include "ServerLaunch.h"
#include "WaitUntil.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

TEST(CloseWhileConnectingFlowTest, EndsAtOnceWithoutWaitingForTheServer) {
    test::ModalDriver modals;
    CMatchDialog window(QStringLiteral("127.0.0.1"), FreeLoopbackPort(PortKind::Udp),
                        QStringLiteral("http://127.0.0.1:1"));
    QSignalSpy finished(&window, &QDialog::finished);
    window.show();
    ASSERT_TRUE(test::WaitUntil([&] { return window.started(); }, 10000));
    ASSERT_EQ(ClientState(), CLIENT_STATE_CONNECT_SENT);

    window.close();
    EXPECT_EQ(finished.count(), 1) << "ended at once";
    EXPECT_EQ(ClientState(), CLIENT_STATE_DISCONNECTED);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.trayIcon()->isVisible());
    // The engine's own EVT_DISCONNECTED follows; it finds a closing window and shows nothing.
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(modals.messages().isEmpty()) << modals.messages().join('|').toStdString();
}

} // namespace
} // namespace vessaro
