#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace vessaro {

class SoundBackend;

// Plays the program's short wave sounds: once or looping; a new sound ends the current one; Stop
// ends whatever plays. Bare file names are looked up in the installed sounds folder. A missing file
// or no audio device gives the desktop's beep instead, never an error.
class SoundService : public QObject {
    Q_OBJECT
public:
    static SoundService& Instance();

    void Play(const QString& fileName, bool loop);
    void Stop();

    // What was asked for last ("" after Stop), for tests and diagnostics.
    QString current() const { return current_; }
    bool looping() const { return looping_; }

    // Where bare names are looked up; by default the "sounds" folder beside the program, or the
    // installed data folder.
    void SetSoundsFolder(const QString& folder);
    QString ResolvedPath(const QString& fileName) const;

    // Replaces what plays the sounds (tests record the requests instead); null restores the
    // desktop's audio output.
    void SetBackend(std::unique_ptr<SoundBackend> backend);

private:
    SoundService();
    ~SoundService() override;

    QString folder_;
    QString current_;
    bool looping_ = false;
    std::unique_ptr<SoundBackend> backend_;
};

} // namespace vessaro
