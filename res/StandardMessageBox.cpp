#include "StandardMessageBox.h"

#include "Strings.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>

namespace vessaro::res {

void SetUpMessageBox(QMessageBox& box) {
    box.setWindowTitle(AppTitle());
    box.setTextFormat(Qt::PlainText);
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setText(QCoreApplication::translate("MessageBox", "确定"));
}

} // namespace vessaro::res
