#include "DesktopSoundBackend.h"

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace vessaro {

DesktopSoundBackend::DesktopSoundBackend() = default;
DesktopSoundBackend::~DesktopSoundBackend() = default;

bool DesktopSoundBackend::Play(const QString& path, bool loop) {
    Stop();
    if (QMediaDevices::audioOutputs().isEmpty())
        return false;
    if (!effect_) {
        effect_ = std::make_unique<QSoundEffect>();
        // A file that turns out not to be a playable wave fails after loading, asynchronously.
        QObject::connect(effect_.get(), &QSoundEffect::statusChanged, effect_.get(), [this] {
            if (effect_->status() == QSoundEffect::Error)
                Beep();
        });
    }
    effect_->setSource(QUrl::fromLocalFile(path));
    effect_->setLoopCount(loop ? QSoundEffect::Infinite : 1);
    effect_->play();
    return true;
}

void DesktopSoundBackend::Stop() {
    if (effect_)
        effect_->stop();
}

void DesktopSoundBackend::Beep() {
    QApplication::beep();
}

} // namespace vessaro
