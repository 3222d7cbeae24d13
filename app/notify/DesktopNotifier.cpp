#include "DesktopNotifier.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace vessaro {
namespace {

constexpr int kExpireMs = 8000;

} // namespace

DesktopNotifier::DesktopNotifier(BusSend bus, Fallback fallback)
    : bus_(std::move(bus)), fallback_(std::move(fallback)) {}

DesktopNotifier::BusSend DesktopNotifier::Over(QDBusConnection connection) {
    return [connection](const QString& title, const QString& body,
                        std::function<void(bool)> done) mutable {
        if (!connection.isConnected()) {
            done(false);
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        // Servers that understand markup in the body would act on a partner's "<a href=...>":
        // the body goes escaped, which the others show as it is.
        call << QCoreApplication::applicationName() << uint(0) << QStringLiteral("vessaro") << title
             << body.toHtmlEscaped() << QStringList() << QVariantMap() << kExpireMs;
        auto* watcher =
            new QDBusPendingCallWatcher(connection.asyncCall(call), QCoreApplication::instance());
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                             done(!finished->isError());
                             finished->deleteLater();
                         });
    };
}

void DesktopNotifier::Notify(const QString& title, const QString& body) {
    if (!bus_) {
        if (fallback_)
            fallback_(title, body);
        return;
    }
    bus_(title, body, [fallback = fallback_, title, body](bool delivered) {
        if (!delivered && fallback)
            fallback(title, body);
    });
}

} // namespace vessaro
