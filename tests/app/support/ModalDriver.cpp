#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>

namespace vessaro::test {

ModalDriver::ModalDriver() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &ModalDriver::Poll);
    timer_.start();
}

ModalDriver::~ModalDriver() = default;

void ModalDriver::OnNextDialog(std::function<void(QDialog*)> handler) {
    handlers_.push_back(std::move(handler));
}

void ModalDriver::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages_ << box->text();
        if (observer_)
            observer_(box->text());
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->accept();
        return;
    }
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (!dialog || dialog == handled_ || handlers_.empty())
        return;
    handled_ = dialog;
    auto handler = std::move(handlers_.front());
    handlers_.pop_front();
    handler(dialog);
    handled_ = nullptr;
}

QString SaveScreenshot(QWidget* widget, const QString& name) {
    const QString folder = QStringLiteral(VESSARO_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    widget->grab().save(path);
    return path;
}

} // namespace vessaro::test
