#pragma once

#include "Notifier.h"

#include <QPointer>
#include <QString>

#include <memory>

class QWidget;

namespace vessaro {

class TrayMark;

// Where the windows tell the user of news while he or she looks elsewhere: a desktop
// notification and the tray icon's unread mark. The matching window sets both up with its tray
// icon; until then (and in tests that set none) announcing does nothing. Everything is off while
// the settings say so (Settings().notificationsEnabled()).
class Notifications {
public:
    static Notifications& Instance();

    void SetNotifier(std::unique_ptr<Notifier> notifier);
    void SetTrayMark(TrayMark* mark); // not owned; it goes with its tray icon
    TrayMark* trayMark() const;

    // News of window: unless window is the active window, or notifications are off, shows the
    // notification and marks the tray icon until window is activated. title and body must already
    // be short and safe (see NotificationText). True when the user was told.
    bool Announce(QWidget* window, const QString& title, const QString& body);

private:
    Notifications() = default;

    std::unique_ptr<Notifier> notifier_;
    QPointer<TrayMark> trayMark_;
};

} // namespace vessaro
