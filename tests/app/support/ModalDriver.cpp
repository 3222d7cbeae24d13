#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>

namespace vessaro::test {

ModalDriver::ModalDriver() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &ModalDriver::Poll);
    timer_.start();
}

ModalDriver::~ModalDriver() = default;

void ModalDriver::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == answering_)
        return;
    const bool answeredAlways =
        qobject_cast<QMessageBox*>(modal) || qobject_cast<QFileDialog*>(modal);
    if (!answeredAlways && (!qobject_cast<QDialog*>(modal) || dialogHandlers_.empty()))
        return;
    answering_ = modal;
    // Answered from the event loop rather than from the timer's own slot: the timer does not fire
    // again while its slot runs, so a dialog opened by the answer would wait for ever.
    QTimer::singleShot(0, this, [this, modal = QPointer<QWidget>(modal)] { Answer(modal); });
}

void ModalDriver::Answer(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages_ << box->text();
        if (observer_)
            observer_(box->text());
        if (QAbstractButton* yes = box->button(QMessageBox::Yes))
            yes->click();
        else if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->accept();
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
        ++fileDialogsSeen_;
        if (fileHandlers_.empty()) {
            files->reject();
        } else {
            FileDialogHandler handler = std::move(fileHandlers_.front());
            fileHandlers_.pop_front();
            handler(files);
        }
    } else if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && !dialogHandlers_.empty()) {
        DialogHandler handler = std::move(dialogHandlers_.front());
        dialogHandlers_.pop_front();
        handler(dialog);
    }
    answering_ = nullptr;
}

QString SaveScreenshot(QWidget* widget, const QString& name) {
    const QString folder = QStringLiteral(VESSARO_SCREENSHOT_DIR);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (!QDir().mkpath(folder) || !widget->grab().save(path))
        return QString();
    return path;
}

} // namespace vessaro::test
