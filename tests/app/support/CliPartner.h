#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace vessaro::test {

// A vessaro-cli of the build as the partner of a desktop test, run with --json among its
// arguments: what it reports is read line by line, what it is given on its standard input it sends
// (or runs, for commands such as /hangup). At the end it is asked to quit, and killed if it stays.
class CliPartner {
public:
    CliPartner();
    ~CliPartner();

    bool Start(const QStringList& arguments);
    void Type(const QString& line);

    // Waits for the next reported event with this name (and, when given, a matching body);
    // earlier events of other kinds are passed over. Empty object when none came in time.
    QJsonObject WaitFor(const QString& event, int timeoutMs,
                        const std::function<bool(const QJsonObject&)>& matches = {});
    bool WaitForExit(int timeoutMs);

    // Everything it printed so far, its errors included, for diagnostics.
    QString transcript() const { return transcript_; }

private:
    bool NextEvent(QJsonObject& event);

    QProcess process_;
    QByteArray pending_; // standard output not yet taken as events
    QString transcript_;
};

} // namespace vessaro::test
