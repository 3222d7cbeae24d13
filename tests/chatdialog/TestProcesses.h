#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace vessaro::test {

// A vessaro-server of the build on its own loopback address, port 13366, without web pages.
class ServerProcess {
public:
    explicit ServerProcess(QString address) : address_(std::move(address)) {}
    ~ServerProcess();

    // Starts it and waits for its ready line; false when the line does not come.
    bool Start();
    QString address() const { return address_; }
    QString output() const { return output_; }

private:
    QString address_;
    QString output_;
    QProcess process_;
};

// A vessaro-cli partner with JSON output: what it reports is read line by line, what it is given
// on its standard input it sends (or runs, for commands such as /hangup).
class CliPartner {
public:
    ~CliPartner();

    bool Start(const QStringList& arguments);
    void Type(const QString& line);

    // Waits for the next reported event with this name (and, when given, a matching body);
    // earlier events of other kinds are passed over. Empty object when none came in time.
    QJsonObject WaitFor(const QString& event, int timeoutMs,
                        const std::function<bool(const QJsonObject&)>& matches = {});
    bool WaitForExit(int timeoutMs);

    QString transcript() const { return transcript_; } // everything it printed, for diagnostics

private:
    bool NextEvent(QJsonObject& event);

    QProcess process_;
    QByteArray pending_;
    QString transcript_;
};

} // namespace vessaro::test
