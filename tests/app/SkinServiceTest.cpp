#include "SkinService.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

class SkinServiceTest : public ::testing::Test {
protected:
    void TearDown() override {
        SkinService::Instance().Remove();
        qApp->setStyleSheet(QString());
    }
    QString WriteSkin(const QString& sheet) {
        const QString path = folder.filePath(QStringLiteral("media.u3"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(sheet.toUtf8());
        return path;
    }
    QTemporaryDir folder;
};

TEST_F(SkinServiceTest, LoadAppliesTheSheetAndRemoveRestoresThePreviousOne) {
    qApp->setStyleSheet(QStringLiteral("QLabel { color: red; }"));
    const QString skin = QStringLiteral("QDialog { background: #f3f6fa; }");
    ASSERT_TRUE(SkinService::Instance().Load(WriteSkin(skin)));
    EXPECT_EQ(qApp->styleSheet(), skin);
    EXPECT_TRUE(SkinService::Instance().loaded());
    SkinService::Instance().Remove();
    EXPECT_EQ(qApp->styleSheet(), QStringLiteral("QLabel { color: red; }"));
    EXPECT_FALSE(SkinService::Instance().loaded());
}

TEST_F(SkinServiceTest, AMissingFileChangesNothing) {
    qApp->setStyleSheet(QStringLiteral("QLabel { color: blue; }"));
    EXPECT_FALSE(SkinService::Instance().Load(folder.filePath(QStringLiteral("none.u3"))));
    EXPECT_FALSE(SkinService::Instance().Load(QStringLiteral("no-such-skin-here.u3")));
    EXPECT_EQ(qApp->styleSheet(), QStringLiteral("QLabel { color: blue; }"));
    SkinService::Instance().Remove();
    EXPECT_EQ(qApp->styleSheet(), QStringLiteral("QLabel { color: blue; }"))
        << "removing a skin that never came changes nothing either";
}

// An installed tree keeps the program in bin/ and the skin in share/vessaro/; the build tree
// keeps it beside the program.
TEST_F(SkinServiceTest, RelativeNamesAreFoundBesideTheProgramThenInTheInstalledDataFolder) {
    const QDir root(folder.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("share/vessaro")));
    const QString bin = root.filePath(QStringLiteral("bin"));
    const QString installed = root.filePath(QStringLiteral("share/vessaro/media.u3"));
    const QString beside = root.filePath(QStringLiteral("bin/media.u3"));
    EXPECT_TRUE(SkinService::Locate(QStringLiteral("media.u3"), bin).isEmpty());

    QFile(installed).open(QIODevice::WriteOnly);
    EXPECT_EQ(QFileInfo(SkinService::Locate(QStringLiteral("media.u3"), bin)).canonicalFilePath(),
              QFileInfo(installed).canonicalFilePath());
    QFile(beside).open(QIODevice::WriteOnly);
    EXPECT_EQ(QFileInfo(SkinService::Locate(QStringLiteral("media.u3"), bin)).canonicalFilePath(),
              QFileInfo(beside).canonicalFilePath());
    EXPECT_EQ(SkinService::SearchFolders(bin).last(), QDir::currentPath());
}

TEST(DefaultSkinTest, TheShippedSkinIsAValidStyleSheet) {
    QFile file(QStringLiteral(VESSARO_DEFAULT_SKIN));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(sheet.contains(QStringLiteral("QPushButton")));
    // Qt reports a style sheet it cannot parse when a widget is polished with it.
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    QWidget widget;
    widget.setStyleSheet(sheet);
    widget.ensurePolished();
    qInstallMessageHandler(previous);
    for (const QString& warning : warnings)
        EXPECT_FALSE(warning.contains(QStringLiteral("parse"), Qt::CaseInsensitive))
            << warning.toStdString();
}

} // namespace
} // namespace vessaro
