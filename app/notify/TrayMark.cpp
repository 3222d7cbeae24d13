#include "TrayMark.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

namespace vessaro {

TrayMark::TrayMark(QSystemTrayIcon* tray, QIcon plain, QObject* parent)
    : QObject(parent), tray_(tray), plain_(std::move(plain)), marked_(MarkedIcon(plain_)) {}

QIcon TrayMark::MarkedIcon(const QIcon& plain) {
    QIcon marked;
    QList<QSize> sizes = plain.availableSizes();
    if (sizes.isEmpty())
        sizes = {QSize(16, 16), QSize(32, 32), QSize(64, 64)};
    for (const QSize& size : sizes) {
        QPixmap pixmap = plain.pixmap(size);
        if (pixmap.isNull()) {
            pixmap = QPixmap(size);
            pixmap.fill(Qt::transparent);
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const int side = std::max(4, size.width() * 4 / 9);
        const QRect dot(size.width() - side, 0, side, side);
        painter.setPen(QPen(Qt::white, std::max(1, side / 8)));
        painter.setBrush(QColor(0xE0, 0x24, 0x24));
        painter.drawEllipse(dot.adjusted(1, 1, -1, -1));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

void TrayMark::Mark(QWidget* window) {
    if (!window || window->isActiveWindow())
        return;
    if (!windows_.contains(window)) {
        windows_.insert(window);
        window->installEventFilter(this);
        connect(window, &QObject::destroyed, this, [this](QObject* gone) { Unmark(gone); });
    }
    ShowIcon();
}

void TrayMark::ClearAll() {
    for (QObject* window : std::as_const(windows_))
        window->removeEventFilter(this);
    windows_.clear();
    ShowIcon();
}

bool TrayMark::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Close)
        Unmark(watched);
    return QObject::eventFilter(watched, event);
}

void TrayMark::Unmark(QObject* window) {
    if (!windows_.remove(window))
        return;
    window->removeEventFilter(this);
    ShowIcon();
}

void TrayMark::ShowIcon() {
    if (tray_)
        tray_->setIcon(marked() ? marked_ : plain_);
}

} // namespace vessaro
