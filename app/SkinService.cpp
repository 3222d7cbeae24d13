#include "SkinService.h"

#include "AppIcon.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool SkinService::Load(const QString& fileName) {
    if (loaded_ || fileName.isEmpty())
        return false;
    const QString path = Locate(fileName, QCoreApplication::applicationDirPath());
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
    return true;
}

void SkinService::Remove() {
    if (!loaded_)
        return;
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->setStyleSheet(previousSheet_);
    loaded_ = false;
    loadedPath_.clear();
}

} // namespace vessaro
