#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace vessaro {

// Serves the web site's default pages (the info page, the logo page) from a folder over HTTP, on
// a thread of its own. Pages are declared UTF-8.
class SiteServer {
public:
    // Starts serving siteDir on address:port (0: any free port). Null, with the reason in error,
    // when the folder is missing or the port cannot be bound.
    static std::unique_ptr<SiteServer> Start(const std::string& bindAddress, uint16_t port,
                                             const std::string& siteDir, std::string& error);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    uint16_t port() const { return port_; }
    void Stop();

private:
    SiteServer(std::unique_ptr<httplib::Server> server, uint16_t port);

    std::unique_ptr<httplib::Server> server_;
    uint16_t port_;
    std::atomic<bool> finished_ = false;
    std::thread thread_;
};

} // namespace vessaro
