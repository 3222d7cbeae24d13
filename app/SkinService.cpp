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

QStringList SkinService::SearchFolders() const {
    const QString programDir = QCoreApplication::applicationDirPath();
    return {programDir, QDir::cleanPath(programDir + QStringLiteral("/../share/vessaro")),
            QDir::currentPath()};
}

bool SkinService::Load(const QString& fileName) {
    if (loaded_ || fileName.isEmpty())
        return false;
    QString path = fileName;
    if (QFileInfo(fileName).isRelative()) {
        path.clear();
        for (const QString& folder : SearchFolders()) {
            const QString candidate = QDir(folder).filePath(fileName);
            if (QFileInfo(candidate).isFile()) {
                path = candidate;
                break;
            }
        }
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
