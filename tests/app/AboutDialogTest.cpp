#include "CAboutDialog.h"

#include "AboutDialogTemplate.h"
#include "BuildConfig.h"
#include "DialogBuilder.h"
#include "ModalDriver.h"
#include "SkinService.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

QStringList LabelTexts(const QWidget& dialog) {
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

TEST(AboutDialogTest, ShowsNameVersionAddressAndIcon) {
    SkinService::Instance().Load(QStringLiteral(VESSARO_DEFAULT_SKIN)); // as the program shows it
    CAboutDialog about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Vessaro"));
    const QStringList texts = LabelTexts(about);
    QString version = QStringLiteral("Vessaro " VESSARO_VERSION " 版");
    if (*VESSARO_COMMIT)
        version += QStringLiteral(" (git " VESSARO_COMMIT ")");
    EXPECT_TRUE(texts.contains(version)) << texts.join(u'|').toStdString();
    // The whole line is shown, not clipped by its field.
    auto* line = res::ControlAs<QLabel>(&about, res::kIdVersion);
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->width());
    EXPECT_TRUE(texts.contains(QStringLiteral(VESSARO_WEB_URL)));
    bool hasIcon = false;
    for (const QLabel* label : about.findChildren<QLabel*>())
        hasIcon = hasIcon || !label->pixmap().isNull();
    EXPECT_TRUE(hasIcon);
    auto* ok = res::ControlAs<QPushButton>(&about, res::kIdOk);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    about.show();
    test::SaveScreenshot(&about, QStringLiteral("about"));
    SkinService::Instance().Remove();
}

TEST(AboutDialogTest, OkOrEscEndsIt) {
    CAboutDialog about;
    test::ModalDriver modals;
    modals.OnNextDialog([](QDialog* d) { res::ControlAs<QPushButton>(d, res::kIdOk)->click(); });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    modals.OnNextDialog([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_EQ(about.exec(), QDialog::Rejected);
}

} // namespace
} // namespace vessaro
