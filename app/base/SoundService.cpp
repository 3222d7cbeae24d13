#include "SoundService.h"

#include "DesktopSoundBackend.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vessaro {
namespace {

// The folder of the installed wave files: beside the program when it runs from its build folder,
// otherwise in the data folder of an installed tree (bin/../share/vessaro/sounds).
QString DefaultSoundsFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString beside = programFolder + QStringLiteral("/sounds");
    if (QFileInfo(beside).isDir())
        return beside;
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/vessaro/sounds"));
}

bool ApplicationRunning() {
    return QCoreApplication::instance() && !QCoreApplication::closingDown();
}

} // namespace

SoundService& SoundService::Instance() {
    static SoundService* instance = [] {
        auto* service = new SoundService;
        // The audio output goes away with the application object: drop the backend first.
        qAddPostRoutine([] { Instance().backend_.reset(); });
        return service;
    }();
    return *instance;
}

SoundService::SoundService() = default;
SoundService::~SoundService() = default;

void SoundService::SetSoundsFolder(const QString& folder) {
    folder_ = folder;
}

void SoundService::SetBackend(std::unique_ptr<SoundBackend> backend) {
    if (backend_)
        backend_->Stop();
    backend_ = std::move(backend);
}

QString SoundService::ResolvedPath(const QString& fileName) const {
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')))
        return fileName;
    const QString folder = folder_.isEmpty() ? DefaultSoundsFolder() : folder_;
    return folder + QLatin1Char('/') + fileName;
}

void SoundService::Play(const QString& fileName, bool loop) {
    current_ = fileName;
    looping_ = loop;
    if (!ApplicationRunning())
        return;
    if (!backend_)
        backend_ = std::make_unique<DesktopSoundBackend>();

    const QFileInfo file(ResolvedPath(fileName));
    if (!file.isFile()) {
        backend_->Stop();
        backend_->Beep();
        return;
    }
    if (!backend_->Play(file.absoluteFilePath(), loop))
        backend_->Beep();
}

void SoundService::Stop() {
    current_.clear();
    looping_ = false;
    if (backend_)
        backend_->Stop();
}

} // namespace vessaro
