#include "CliPartner.h"

#include "WaitUntil.h"

#include <csignal>
#include <sys/prctl.h>

#include <QJsonDocument>

namespace vessaro::test {

CliPartner::CliPartner() {
    // A test that aborts leaves no process behind to hold its address.
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
        const QByteArray output = process_.readAllStandardOutput();
        pending_ += output;
        transcript_ += QString::fromUtf8(output);
    });
    QObject::connect(&process_, &QProcess::readyReadStandardError,
                     [this] { transcript_ += QString::fromUtf8(process_.readAllStandardError()); });
}

CliPartner::~CliPartner() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.write("/quit\n");
    if (!process_.waitForFinished(5000))
        process_.kill();
    process_.waitForFinished(2000);
}

bool CliPartner::Start(const QStringList& arguments) {
    process_.start(QStringLiteral(VESSARO_CLI_BINARY), arguments);
    return process_.waitForStarted(10000);
}

void CliPartner::Type(const QString& line) {
    process_.write(line.toUtf8() + '\n');
}

bool CliPartner::NextEvent(QJsonObject& event) {
    const qsizetype end = pending_.indexOf('\n');
    if (end < 0)
        return false;
    const QByteArray line = pending_.left(end);
    pending_.remove(0, end + 1);
    event = QJsonDocument::fromJson(line).object();
    return true;
}

QJsonObject CliPartner::WaitFor(const QString& name, int timeoutMs,
                                const std::function<bool(const QJsonObject&)>& matches) {
    QJsonObject found;
    WaitUntil(
        [&] {
            QJsonObject event;
            while (NextEvent(event)) {
                if (event.value(QStringLiteral("event")).toString() == name &&
                    (!matches || matches(event))) {
                    found = event;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool CliPartner::WaitForExit(int timeoutMs) {
    return WaitUntil([&] { return process_.state() == QProcess::NotRunning; }, timeoutMs);
}

} // namespace vessaro::test
