#include "DesktopNotifier.h"
#include "TrayMark.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vessaro {
namespace {

// The bus answers whatever the test says, when the test says.
struct FakeBus {
    std::vector<std::function<void(bool)>> pending;
    QStringList sent;
    DesktopNotifier::BusSend Send() {
        return [this](const QString& title, const QString& body, std::function<void(bool)> done) {
            sent << title + QLatin1Char('|') + body;
            pending.push_back(std::move(done));
        };
    }
};

TEST(DesktopNotifierTest, TheTrayBalloonStandsInOnlyWhenTheServiceDidNotTakeIt) {
    FakeBus bus;
    QStringList balloons;
    DesktopNotifier notifier(bus.Send(), [&](const QString& title, const QString& body) {
        balloons << title + QLatin1Char('|') + body;
    });
    notifier.Notify(QStringLiteral("a"), QStringLiteral("taken"));
    notifier.Notify(QStringLiteral("b"), QStringLiteral("refused"));
    EXPECT_EQ(bus.sent, (QStringList{QStringLiteral("a|taken"), QStringLiteral("b|refused")}));
    EXPECT_TRUE(balloons.isEmpty()) << "nothing waits for the bus";
    ASSERT_EQ(bus.pending.size(), 2u);
    bus.pending[0](true);
    bus.pending[1](false);
    EXPECT_EQ(balloons, QStringList{QStringLiteral("b|refused")});
}

QImage Shown(const QSystemTrayIcon& tray) {
    return tray.icon().pixmap(QSize(32, 32)).toImage();
}

TEST(TrayMarkTest, MarkShowsUntilEveryMarkedWindowIsActivatedOrGone) {
    QPixmap blue(32, 32);
    blue.fill(Qt::blue);
    const QIcon plain(blue);
    QSystemTrayIcon tray(plain);
    TrayMark mark(&tray, plain);
    const QImage plainImage = Shown(tray);

    QWidget first;
    auto* second = new QWidget;
    mark.Mark(&first);
    mark.Mark(second);
    EXPECT_TRUE(mark.marked());
    EXPECT_NE(Shown(tray), plainImage) << "a dot is drawn on the icon";

    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&first, &activate);
    EXPECT_TRUE(mark.marked()) << "the other window still has news";
    delete second;
    EXPECT_FALSE(mark.marked());
    EXPECT_EQ(Shown(tray), plainImage);
}

} // namespace
} // namespace vessaro
