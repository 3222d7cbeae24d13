#include "SkinService.h"

#include "AppIcon.h"
#include "AppSettings.h"
#include "SkinTone.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace vessaro {

SkinService& SkinService::Instance() {
    static SkinService service;
    return service;
}

QStringList SkinService::SearchFolders(const QString& programDir) {
    return {programDir, QDir::cleanPath(programDir + QStringLiteral("/../share/vessaro")),
            QDir::currentPath()};
}

QString SkinService::Locate(const QString& fileName, const QString& programDir) {
    if (!QFileInfo(fileName).isRelative())
        return fileName;
    for (const QString& folder : SearchFolders(programDir)) {
        const QString candidate = QDir(folder).filePath(fileName);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}

SkinService::Variant SkinService::ChooseVariant(const QString& setting, const QPalette& palette) {
    if (setting == QLatin1String("light"))
        return Variant::Light;
    if (setting == QLatin1String("dark"))
        return Variant::Dark;
    // Dark text on a light window is a light desktop, and the other way round.
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    return window.lightness() < text.lightness() ? Variant::Dark : Variant::Light;
}

QString SkinService::VariantFile(const QString& fileName, Variant variant) {
    if (variant == Variant::Light)
        return fileName;
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot > slash + 1)
        return fileName.left(dot) + QStringLiteral("-dark") + fileName.mid(dot);
    return fileName + QStringLiteral("-dark");
}

bool SkinService::Load(const QString& fileName) {
    return Load(fileName, ChooseVariant(Settings().skin(), QGuiApplication::palette()));
}

bool SkinService::Load(const QString& fileName, Variant variant) {
    if (loaded_ || fileName.isEmpty())
        return false;
    const QString programDir = QCoreApplication::applicationDirPath();
    QString path = Locate(VariantFile(fileName, variant), programDir);
    if (variant == Variant::Dark && !QFileInfo(path).isFile()) {
        variant = Variant::Light; // no dark variant installed: the skin as it is
        path = Locate(fileName, programDir);
    }
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QString sheet = QString::fromUtf8(file.readAll());
    res::InitResources(); // the sheet may use the program's own images
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return false;
    previousSheet_ = app->styleSheet();
    app->setStyleSheet(sheet);
    loaded_ = true;
    loadedPath_ = path;
    variant_ = variant;
    SetDarkSkinApplied(variant == Variant::Dark);
    return true;
}

void SkinService::Remove() {
    if (!loaded_)
        return;
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->setStyleSheet(previousSheet_);
    loaded_ = false;
    loadedPath_.clear();
    SetDarkSkinApplied(false);
}

} // namespace vessaro
