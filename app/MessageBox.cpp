#include "MessageBox.h"

#include "StandardMessageBox.h"
#include "Strings.h"

#include <QMessageBox>

namespace vessaro {

void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, res::AppTitle(), text, QMessageBox::Ok, parent);
    res::SetUpMessageBox(box);
    box.exec();
}

} // namespace vessaro
