#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QFileDialog;

namespace vessaro::test {

// Answers the modal windows that a test's actions open, from inside their modal loops, as a user
// would: message boxes are confirmed (Yes where asked, else OK) and their texts recorded; file
// dialogs get the handlers queued for them, in order, or are cancelled when none is left; any other
// modal dialog goes to the next handler queued for one (with none waiting it is left alone, for the
// test that shows it to drive). A dialog that opens another one while it is being answered (a
// file dialog asking before it overwrites) sees that one answered in turn.
class ModalDriver : public QObject {
    Q_OBJECT
public:
    using DialogHandler = std::function<void(QDialog*)>;
    using FileDialogHandler = std::function<void(QFileDialog*)>;

    ModalDriver();
    ~ModalDriver() override;

    QStringList messages() const { return messages_; }
    void clearMessages() { messages_.clear(); }

    // Called with each message box's text while the box is still open, before it is confirmed,
    // so that a test can look at the window behind it at that moment.
    void OnMessage(std::function<void(const QString&)> observer) {
        observer_ = std::move(observer);
    }

    // The next modal dialog that is neither a message box nor a file dialog goes to handler, which
    // ends it.
    void OnNextDialog(DialogHandler handler) { dialogHandlers_.push_back(std::move(handler)); }
    std::size_t pendingHandlers() const { return dialogHandlers_.size(); }

    // The next file dialog goes to handler, which ends it.
    void OnNextFileDialog(FileDialogHandler handler) {
        fileHandlers_.push_back(std::move(handler));
    }
    int fileDialogsSeen() const { return fileDialogsSeen_; }

private:
    void Poll();
    void Answer(QWidget* modal);

    QTimer timer_;
    QPointer<QWidget> answering_;
    QStringList messages_;
    std::function<void(const QString&)> observer_;
    std::deque<DialogHandler> dialogHandlers_;
    std::deque<FileDialogHandler> fileHandlers_;
    int fileDialogsSeen_ = 0;
};

// Saves a grab of the widget as NAME.png in the build's screenshots folder; returns the path, or
// an empty string when it could not be saved.
QString SaveScreenshot(QWidget* widget, const QString& name);

} // namespace vessaro::test
