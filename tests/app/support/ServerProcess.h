#pragma once

#include "ServerLaunch.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace vessaro::test {

// A vessaro-server of the build on 127.0.0.1 at a port that was free when the object was made, so
// that tests of several checkouts can run side by side; the port is known before the server starts,
// for a client that must be looking for it first. With WebPages::Served it serves the web pages too
// when it can (at another free port); either way the info page it points the clients to is its own,
// so that no page from outside the test is loaded.
class ServerProcess {
public:
    enum class WebPages { Served, None };

    explicit ServerProcess(WebPages pages = WebPages::Served);
    ~ServerProcess();

    // Starts the server and waits for its ready line; false when it does not come.
    bool Start();

    QString address() const { return QStringLiteral("127.0.0.1"); }
    uint16_t port() const { return port_; }
    // The web site's address, or one where nothing answers when the pages are not served.
    QString webUrl() const { return webUrl_; }
    // Its standard output so far (its errors go to the test's own).
    QString output() const;

private:
    bool Launch(uint16_t httpPort);

    WebPages pages_;
    uint16_t port_ = 0;
    QString webUrl_;
    std::unique_ptr<ServerLaunch> process_;
};

} // namespace vessaro::test
