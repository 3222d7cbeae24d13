#pragma once

#include "Notifier.h"

#include <QDBusConnection>

#include <functional>

namespace vessaro {

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Where there is no bus, no service, or the
// service answers with an error, the message goes to the fallback instead (the tray icon's
// balloon). The call never waits: the answer arrives later on the event loop.
class DesktopNotifier : public Notifier {
public:
    // Sends one notification and later tells done whether the service took it.
    using BusSend = std::function<void(const QString& title, const QString& body,
                                       std::function<void(bool delivered)> done)>;
    using Fallback = std::function<void(const QString& title, const QString& body)>;

    DesktopNotifier(BusSend bus, Fallback fallback);

    // The notification service on the connection (the session bus in the program).
    static BusSend Over(QDBusConnection connection);

    void Notify(const QString& title, const QString& body) override;

private:
    BusSend bus_;
    Fallback fallback_;
};

} // namespace vessaro
