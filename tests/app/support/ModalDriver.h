#pragma once

#include <QDialog>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

namespace vessaro::test {

// Answers the modal windows that a test's actions open, from inside their modal loops: message
// boxes are accepted and their texts recorded; any other modal dialog goes to the next handler that
// the test queued for one (a dialog with no handler waiting is left alone).
class ModalDriver : public QObject {
    Q_OBJECT
public:
    ModalDriver();
    ~ModalDriver() override;

    QStringList messages() const { return messages_; }
    void clearMessages() { messages_.clear(); }

    // Called with each message box's text while the box is still open, before it is accepted,
    // so that a test can look at the window behind it at that moment.
    void OnMessage(std::function<void(const QString&)> observer) {
        observer_ = std::move(observer);
    }

    // The next modal dialog that is not a message box goes to handler, which ends it.
    void OnNextDialog(std::function<void(QDialog*)> handler);
    std::size_t pendingHandlers() const { return handlers_.size(); }

private:
    void Poll();

    QTimer timer_;
    QStringList messages_;
    std::function<void(const QString&)> observer_;
    std::deque<std::function<void(QDialog*)>> handlers_;
    QDialog* handled_ = nullptr;
};

// Saves a grab of the widget as NAME.png in the build's screenshots folder; returns the path.
QString SaveScreenshot(QWidget* widget, const QString& name);

} // namespace vessaro::test
