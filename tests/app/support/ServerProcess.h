#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vessaro::test {

// A vessaro-server of the build on its own loopback address (127.0.0.N, port 13366), so that
// tests can run side by side. With WebPages::Served it serves the web pages too when it can (on
// port 18080 of that address); either way the info page it points the clients to is its own, so
// that no page from outside the test is loaded.
class ServerProcess {
public:
    enum class WebPages { Served, None };

    explicit ServerProcess(QString address, WebPages pages = WebPages::Served);
    ~ServerProcess();

    // Starts the server and waits for its ready line; false when it does not come.
    bool Start();

    QString address() const { return address_; }
    // The web site's address, or one where nothing answers when the pages are not served.
    QString webUrl() const { return webUrl_; }
    QString output() const { return output_; }

private:
    bool Launch(int httpPort);

    QString address_;
    WebPages pages_;
    QString webUrl_;
    QString output_;
    QProcess process_;
};

} // namespace vessaro::test
