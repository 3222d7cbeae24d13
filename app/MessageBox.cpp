#include "MessageBox.h"

#include "Strings.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace vessaro {

void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, res::AppTitle(), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

} // namespace vessaro
