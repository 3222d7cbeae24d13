#include "CAboutDialog.h"

#include "AboutDialogTemplate.h"
#include "AppIcon.h"
#include "DialogBuilder.h"

#include <QPushButton>

namespace vessaro {

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    res::BuildDialog(res::AboutDialogTemplate(), this);
    setWindowIcon(res::AppIcon());
    connect(res::ControlAs<QPushButton>(this, res::kIdOk), &QPushButton::clicked, this,
            &QDialog::accept);
}

} // namespace vessaro
