#include "CAboutDialog.h"

#include "AboutDialogTemplate.h"
#include "AppIcon.h"
#include "BuildConfig.h"
#include "DialogBuilder.h"

#include <QLabel>
#include <QPushButton>

namespace vessaro {

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    res::BuildDialog(res::AboutDialogTemplate(), this);
    setWindowIcon(res::AppIcon());
    // The template's line reads "Vessaro %1 版" in the user's language; %1 is this build's version,
    // and the commit it was built from follows.
    auto* version = res::ControlAs<QLabel>(this, res::kIdVersion);
    QString text = version->text().arg(QStringLiteral(VESSARO_VERSION));
    if (*VESSARO_COMMIT)
        text += QStringLiteral(" (git " VESSARO_COMMIT ")");
    version->setText(text);
    version->setToolTip(QString::fromStdString(VersionLine("vessaro")));
    connect(res::ControlAs<QPushButton>(this, res::kIdOk), &QPushButton::clicked, this,
            &QDialog::accept);
}

} // namespace vessaro
