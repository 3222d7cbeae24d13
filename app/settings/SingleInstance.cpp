#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <unistd.h>

namespace vessaro {
namespace {

constexpr char kRaise[] = "raise\n";

} // namespace

SingleInstance::SingleInstance(const QString& name, const QString& folder, QObject* parent)
    : QObject(parent), socketPath_(QDir(folder).filePath(name + QStringLiteral(".sock"))),
      lock_(QDir(folder).filePath(name + QStringLiteral(".lock"))) {
    // Only a lock whose process is gone is stale, however long a client has been running.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::InstanceName(const QString& profile) {
    QString name = QStringLiteral("vessaro-%1").arg(::getuid());
    if (!profile.isEmpty())
        name += QLatin1Char('-') + profile;
    return name;
}

QString SingleInstance::DefaultFolder() {
    // XDG_RUNTIME_DIR, private to the user; Qt makes a private one in the temporary folder when
    // it is not set.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::Outcome SingleInstance::Claim(int waitMs) {
    QDir().mkpath(QFileInfo(lock_.fileName()).absolutePath());
    if (lock_.tryLock(0)) {
        Listen();
        return Outcome::kFirst;
    }
    if (lock_.error() != QLockFile::LockFailedError)
        return Outcome::kUnavailable;
    return AskRunningCopy(waitMs) ? Outcome::kRaised : Outcome::kNoAnswer;
}

bool SingleInstance::Listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock: a socket file still there belongs to a copy that is gone.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            // Whatever a peer writes is ignored; being asked is all there is to it.
            peer->disconnectFromServer();
            emit activationRequested();
        }
    });
    return true;
}

// The running copy may hold the lock a moment before it listens: try again until waitMs.
bool SingleInstance::AskRunningCopy(int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(
                static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) {
            socket.write(kRaise, sizeof kRaise - 1);
            socket.waitForBytesWritten(200);
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

} // namespace vessaro
