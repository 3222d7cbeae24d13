#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSet>

class QSystemTrayIcon;
class QWidget;

namespace vessaro {

// The unread mark on the tray icon: while some window has news the user has not seen, the icon
// carries a red dot; it goes when the user has activated every such window (or when it closes).
class TrayMark : public QObject {
    Q_OBJECT
public:
    TrayMark(QSystemTrayIcon* tray, QIcon plain, QObject* parent = nullptr);

    // The window has news: the mark shows until the window is activated.
    void Mark(QWidget* window);
    void ClearAll();
    bool marked() const { return !windows_.isEmpty(); }

    // The icon with the mark drawn on it.
    static QIcon MarkedIcon(const QIcon& plain);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Unmark(QObject* window);
    void ShowIcon();

    QPointer<QSystemTrayIcon> tray_;
    QIcon plain_;
    QIcon marked_;
    QSet<QObject*> windows_;
};

} // namespace vessaro
