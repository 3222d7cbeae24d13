#include "AppSettings.h"
#include "SkinService.h"
#include "SkinTone.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

using Variant = SkinService::Variant;

QPalette PaletteOf(Qt::GlobalColor window, Qt::GlobalColor text) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

TEST(SkinVariantTest, SettingWinsAndAutoFollowsTheDesktopPalette) {
    const QPalette light = PaletteOf(Qt::white, Qt::black);
    const QPalette dark = PaletteOf(Qt::darkGray, Qt::white);
    const struct {
        const char* setting;
        const QPalette& palette;
        Variant variant;
    } cases[] = {
        {"light", dark, Variant::Light}, {"dark", light, Variant::Dark},
        {"auto", dark, Variant::Dark},   {"auto", light, Variant::Light},
        {"", dark, Variant::Dark},       {"purple", light, Variant::Light},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SkinService::ChooseVariant(QString::fromLatin1(c.setting), c.palette), c.variant)
            << c.setting;
}

class SkinVariantLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        UseSettingsFile(folder.filePath(QStringLiteral("vessaro.conf")));
        light = Write(QStringLiteral("media.u3"), QStringLiteral("QDialog { color: black; }"));
        dark = Write(QStringLiteral("media-dark.u3"), QStringLiteral("QDialog { color: white; }"));
    }
    void TearDown() override {
        SkinService::Instance().Remove();
        qApp->setStyleSheet(QString());
    }
    QString Write(const QString& name, const QString& sheet) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(sheet.toUtf8());
        return file.fileName();
    }
    QTemporaryDir folder;
    QString light;
    QString dark;
};

TEST_F(SkinVariantLoadTest, TheSettingChoosesTheFileAndAMissingDarkOneFallsBackToLight) {
    Settings().setSkin(QStringLiteral("dark"));
    ASSERT_TRUE(SkinService::Instance().Load(light));
    EXPECT_EQ(qApp->styleSheet(), QStringLiteral("QDialog { color: white; }"));
    EXPECT_EQ(SkinService::Instance().variant(), Variant::Dark);
    EXPECT_TRUE(DarkSkinApplied()) << "the transcript page follows";
    SkinService::Instance().Remove();
    EXPECT_FALSE(DarkSkinApplied());

    Settings().setSkin(QStringLiteral("light"));
    ASSERT_TRUE(SkinService::Instance().Load(light));
    EXPECT_EQ(qApp->styleSheet(), QStringLiteral("QDialog { color: black; }"));
    SkinService::Instance().Remove();

    QFile::remove(dark);
    ASSERT_TRUE(SkinService::Instance().Load(light, Variant::Dark));
    EXPECT_EQ(qApp->styleSheet(), QStringLiteral("QDialog { color: black; }"));
    EXPECT_EQ(SkinService::Instance().variant(), Variant::Light);
}

QStringList* g_warnings = nullptr;
void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && g_warnings)
        g_warnings->append(text);
}

TEST(ShippedDarkSkinTest, ParsesAndStylesAWidget) {
    const QString shipped = QFileInfo(QStringLiteral(VESSARO_DEFAULT_SKIN))
                                .dir()
                                .filePath(QStringLiteral("media-dark.u3"));
    QFile file(shipped);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << shipped.toStdString();
    QStringList warnings;
    g_warnings = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(CollectWarnings);
    QPushButton button(QStringLiteral("x"));
    button.setStyleSheet(QString::fromUtf8(file.readAll()));
    button.ensurePolished();
    qInstallMessageHandler(previous);
    g_warnings = nullptr;
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_LT(button.palette().color(QPalette::Button).lightness(), 128) << "a dark button";
}

} // namespace
} // namespace vessaro
