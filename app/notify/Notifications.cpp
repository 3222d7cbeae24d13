#include "Notifications.h"

#include "AppSettings.h"
#include "TrayMark.h"

#include <QWidget>

namespace vessaro {

Notifications& Notifications::Instance() {
    static Notifications instance;
    return instance;
}

void Notifications::SetNotifier(std::unique_ptr<Notifier> notifier) {
    notifier_ = std::move(notifier);
}

void Notifications::SetTrayMark(TrayMark* mark) {
    trayMark_ = mark;
}

TrayMark* Notifications::trayMark() const {
    return trayMark_;
}

bool Notifications::Announce(QWidget* window, const QString& title, const QString& body) {
    if (!window || window->isActiveWindow() || !Settings().notificationsEnabled())
        return false;
    if (notifier_)
        notifier_->Notify(title, body);
    if (trayMark_)
        trayMark_->Mark(window);
    return notifier_ || trayMark_;
}

} // namespace vessaro
