#include "ServerProcess.h"

#include "WaitUntil.h"

#include <csignal>
#include <sys/prctl.h>

namespace vessaro::test {

namespace {
constexpr int kReadyWaitMs = 10000;
constexpr int kWebPort = 18080; // on the test's own address only
} // namespace

ServerProcess::ServerProcess(QString address, WebPages pages)
    : address_(std::move(address)), pages_(pages) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A test that aborts leaves no process behind to hold its address.
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QObject::connect(&process_, &QProcess::readyRead,
                     [this] { output_ += QString::fromUtf8(process_.readAll()); });
}

ServerProcess::~ServerProcess() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000))
        process_.kill();
    process_.waitForFinished(2000);
}

bool ServerProcess::Start() {
    if (pages_ == WebPages::Served) {
        webUrl_ = QStringLiteral("http://%1:%2").arg(address_).arg(kWebPort);
        if (Launch(kWebPort))
            return true;
    }
    webUrl_ = QStringLiteral("http://%1:1").arg(address_);
    return Launch(0);
}

bool ServerProcess::Launch(int httpPort) {
    output_.clear();
    process_.start(QStringLiteral(VESSARO_SERVER_BINARY),
                   {QStringLiteral("--bind"), address_, QStringLiteral("--port"),
                    QStringLiteral("13366"), QStringLiteral("--http-port"),
                    QString::number(httpPort), QStringLiteral("--notice-url"),
                    webUrl_ + QStringLiteral("/match/adv.html"),
                    // Servers of parallel tests would share the metrics listener's default port.
                    QStringLiteral("--metrics-bind"), QString()});
    if (!process_.waitForStarted(kReadyWaitMs))
        return false;
    return WaitUntil(
               [this] {
                   return output_.contains(QStringLiteral("vessaro-server: ready on")) ||
                          process_.state() == QProcess::NotRunning;
               },
               kReadyWaitMs) &&
           process_.state() == QProcess::Running;
}

} // namespace vessaro::test
