#include "ChatTestDoubles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace vessaro::test {

ModalAnswerer::ModalAnswerer() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
    timer_.start();
}

void ModalAnswerer::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == handling_ || !modal->isVisible())
        return;
    handling_ = modal;
    // Answered from the event loop rather than from the timer's own slot, so that a dialog that
    // opens another one (a file dialog asking before it overwrites) is answered in turn.
    QTimer::singleShot(0, this, [this, modal] { Answer(modal); });
}

void ModalAnswerer::Answer(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages.append(box->text());
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        (yes ? yes : ok)->click();
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
        ++fileDialogsSeen;
        if (fileAnswers_.empty()) {
            files->reject();
        } else {
            FileAnswer answer = std::move(fileAnswers_.front());
            fileAnswers_.pop_front();
            answer(files);
        }
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        if (dialogAnswers_.empty()) {
            dialog->reject();
        } else {
            DialogAnswer answer = std::move(dialogAnswers_.front());
            dialogAnswers_.pop_front();
            answer(dialog);
        }
    }
    handling_ = nullptr;
}

} // namespace vessaro::test
