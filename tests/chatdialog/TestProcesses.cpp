#include "TestProcesses.h"

#include "ChatTestDoubles.h"

#include <QJsonDocument>

namespace vessaro::test {

ServerProcess::~ServerProcess() {
    process_.terminate();
    if (!process_.waitForFinished(5000))
        process_.kill();
}

bool ServerProcess::Start() {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral(VESSARO_SERVER_BINARY),
                   {QStringLiteral("--bind"), address_, QStringLiteral("--port"),
                    QStringLiteral("13366"), QStringLiteral("--http-port"), QStringLiteral("0")});
    if (!process_.waitForStarted(10000))
        return false;
    return WaitUntil(
               [&] {
                   output_ += QString::fromUtf8(process_.readAll());
                   return output_.contains(QStringLiteral("vessaro-server: ready on")) ||
                          process_.state() == QProcess::NotRunning;
               },
               10000) &&
           process_.state() == QProcess::Running;
}

CliPartner::~CliPartner() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool CliPartner::Start(const QStringList& arguments) {
    process_.start(QStringLiteral(VESSARO_CLI_BINARY), arguments);
    return process_.waitForStarted(10000);
}

void CliPartner::Type(const QString& line) {
    process_.write(line.toUtf8() + '\n');
}

bool CliPartner::NextEvent(QJsonObject& event) {
    pending_ += process_.readAllStandardOutput();
    const qsizetype end = pending_.indexOf('\n');
    if (end < 0)
        return false;
    const QByteArray line = pending_.left(end);
    pending_.remove(0, end + 1);
    transcript_ += QString::fromUtf8(line) + QLatin1Char('\n');
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
