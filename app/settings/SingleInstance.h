#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace vessaro {

// Keeps one running client per user and settings profile. The first copy holds a lock file and
// listens on a local socket beside it, both in the user's private runtime folder; a later copy
// finds the lock taken, asks the running one (through the socket) to show its window, and ends.
// A lock left behind by a copy that crashed names a process that no longer runs and is taken
// over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        kFirst,       // this copy runs; the others will ask it to show itself
        kRaised,      // another copy runs and was asked to show its window
        kNoAnswer,    // another copy holds the lock but did not answer
        kUnavailable, // the lock could not be made (folder not writable)
    };

    // name: one per user and profile (InstanceName); folder: where the lock and the socket live.
    SingleInstance(const QString& name, const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock, or asks the copy that holds it to show itself. waitMs bounds how long a
    // copy that has the lock but is still starting is waited for.
    Outcome Claim(int waitMs = 2000);

    // The name for the user running this process and a settings profile ("" for the default).
    static QString InstanceName(const QString& profile);
    // The user's private runtime folder.
    static QString DefaultFolder();

signals:
    // Another copy asked this one to show its window.
    void activationRequested();

private:
    bool Listen();
    bool AskRunningCopy(int waitMs);

    QString socketPath_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;
};

} // namespace vessaro
