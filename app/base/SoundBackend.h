#pragma once

#include <QString>

namespace vessaro {

// What actually makes the noise for the SoundService: the desktop's audio output by default, a
// recording double in tests.
class SoundBackend {
public:
    virtual ~SoundBackend() = default;

    // Starts the wave file at this full path, once or looping, ending what played before. False
    // when it cannot be played at all (no audio output).
    virtual bool Play(const QString& path, bool loop) = 0;
    virtual void Stop() = 0;
    // The desktop's default sound, for a file that cannot be played.
    virtual void Beep() = 0;
};

} // namespace vessaro
