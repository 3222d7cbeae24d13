#pragma once

#include "SoundBackend.h"

#include <memory>

class QSoundEffect;

namespace vessaro {

// Plays wave files on the desktop's default audio output with one QSoundEffect, so a new sound
// always ends the previous one.
class DesktopSoundBackend : public SoundBackend {
public:
    DesktopSoundBackend();
    ~DesktopSoundBackend() override;

    bool Play(const QString& path, bool loop) override;
    void Stop() override;
    void Beep() override;

private:
    std::unique_ptr<QSoundEffect> effect_;
};

} // namespace vessaro
