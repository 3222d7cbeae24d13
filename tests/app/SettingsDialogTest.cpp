// The settings dialog, driven through its own widgets: a refused field is named and nothing is
// stored; accepted fields are stored as the other windows read them.
#include "SettingsDialog.h"
#include "AppSettings.h"
#include "ModalDriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

template <typename T>
T* Field(SettingsDialog& dialog, const char* name) {
    T* field = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(field, nullptr) << name;
    return field;
}

void ClickOk(SettingsDialog& dialog) {
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

struct Fixture {
    QTemporaryDir dir;
    AppSettings settings{dir.filePath(QStringLiteral("s.conf"))};
    SettingsDialog dialog{settings, nullptr};
};

TEST(SettingsDialogTest, ABadFieldIsNamedAndNothingIsStored) {
    const struct {
        const char* server;
        const char* webUrl;
        const char* said;
    } cases[] = {
        {"", "", "请填写服务器地址。"},
        {"chat.example.org:99999", "", "端口必须是 1 到 65535 之间的整数。"},
        {"bad host", "", "服务器应为主机名"},
        {"chat.example.org", "ftp://x.example.org", "网页地址应以 http:// 或 https:// 开头"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server + std::string(" ") + c.webUrl);
        Fixture f;
        Field<QLineEdit>(f.dialog, "server")->setText(QString::fromUtf8(c.server));
        Field<QLineEdit>(f.dialog, "webUrl")->setText(QString::fromUtf8(c.webUrl));
        Field<QComboBox>(f.dialog, "language")->setCurrentIndex(2);
        ClickOk(f.dialog);
        EXPECT_TRUE(f.dialog.errorText().startsWith(QString::fromUtf8(c.said)))
            << f.dialog.errorText().toStdString();
        EXPECT_NE(f.dialog.result(), QDialog::Accepted);
        EXPECT_EQ(f.settings.language(), QString());
        EXPECT_FALSE(f.settings.store().contains(QStringLiteral("server/host")));
    }
}

TEST(SettingsDialogTest, OnlyChangesAreStoredAndTheyAreShownAgain) {
    Fixture f;
    f.dialog.show();
    test::SaveScreenshot(&f.dialog, QStringLiteral("settings-dialog"));
    const QString builtInPages = f.settings.webUrl();
    ClickOk(f.dialog); // unchanged: still the built-in server, with its own pages
    EXPECT_FALSE(f.dialog.serverChanged());
    EXPECT_FALSE(f.settings.store().contains(QStringLiteral("server/host")));
    EXPECT_EQ(f.settings.webUrl(), builtInPages);

    Field<QLineEdit>(f.dialog, "server")->setText(QStringLiteral(" [2001:db8::1]:4000 "));
    Field<QLineEdit>(f.dialog, "webUrl")->setText(QStringLiteral("https://pages.example.org/"));
    Field<QComboBox>(f.dialog, "language")->setCurrentIndex(2);
    Field<QCheckBox>(f.dialog, "notifications")->setChecked(false);
    Field<QComboBox>(f.dialog, "skin")->setCurrentIndex(2);
    ClickOk(f.dialog);
    EXPECT_EQ(f.dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(f.dialog.serverChanged());
    AppSettings reread(f.settings.filePath());
    EXPECT_EQ(reread.serverHost(), QStringLiteral("2001:db8::1"));
    EXPECT_EQ(reread.serverPort(), 4000);
    EXPECT_EQ(reread.webUrl(), QStringLiteral("https://pages.example.org"));
    EXPECT_EQ(reread.language(), QStringLiteral("en"));
    EXPECT_FALSE(reread.notificationsEnabled());
    EXPECT_EQ(reread.skin(), QStringLiteral("dark"));
    SettingsDialog again(reread, nullptr);
    EXPECT_EQ(Field<QLineEdit>(again, "server")->text(), QStringLiteral("[2001:db8::1]:4000"));
}

TEST(AppSettingsTest, AHandEditedServerOrWebAddressGivesTheBuiltInOne) {
    QTemporaryDir dir;
    AppSettings settings(dir.filePath(QStringLiteral("s.conf")));
    const QString builtInHost = settings.serverHost();
    const QString builtInPages = settings.webUrl();
    settings.store().setValue(QStringLiteral("server/host"), QStringLiteral("evil host\n"));
    settings.store().setValue(QStringLiteral("server/webUrl"), QStringLiteral("file:///etc"));
    EXPECT_EQ(settings.serverHost(), builtInHost);
    EXPECT_EQ(settings.webUrlSetting(), QString());
    EXPECT_EQ(settings.webUrl(), builtInPages);
}

TEST(AppSettingsTest, AnUnreadableFileIsSetAsideAndAReadableOneIsUsed) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.conf"));
    ASSERT_TRUE(QDir().mkdir(path)); // no settings file can be read from a folder
    EXPECT_EQ(UseSettingsFileOrSetAside(path), path + QStringLiteral(".bad"));
    EXPECT_TRUE(QFileInfo(path + QStringLiteral(".bad")).isDir());
    Settings().setSkin(QStringLiteral("dark"));
    Settings().sync();

    EXPECT_EQ(UseSettingsFileOrSetAside(path), QString());
    EXPECT_EQ(Settings().skin(), QStringLiteral("dark"));
}

} // namespace
} // namespace vessaro
