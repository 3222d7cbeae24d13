#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

struct MHD_Daemon;
struct MHD_Connection;

namespace vessaro {

class RequestDeadlines;
class SiteFolder;

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};
// Runs on the HTTP thread: it must be safe to call while the rest of the program runs.
using HttpHandler = std::function<HttpReply()>;

struct SiteServerOptions {
    std::string bind = "::";                     // IPv4 or IPv6 literal, or a host name; "::"
                                                 // serves IPv4 and IPv6
    uint16_t port = 8080;                        // 0: any free port
    std::string siteDir;                         // empty: no files, only the handlers
    std::map<std::string, HttpHandler> handlers; // exact paths, e.g. "/metrics", "/healthz"
    unsigned maxConnections = 1024;
    unsigned maxConnectionsPerAddress = 16;
    unsigned requestTimeoutSeconds = 10; // a whole request, however slowly it trickles
};

// The web site: the default pages from a folder and a few handlers at fixed paths, over HTTP, on a
// poll thread of its own. Slow or idle clients cannot take it from others: connections are
// bounded in all and per address, and each request must be done within its time. Files are
// served only from inside the folder; only GET and HEAD are answered.
class SiteServer {
public:
    // Null, with a reason that names the address and port, when the port is taken or cannot be
    // bound, or the folder is missing or unreadable.
    static std::unique_ptr<SiteServer> Start(const SiteServerOptions& options, std::string& error);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    uint16_t port() const { return port_; }
    uint64_t requests() const { return requests_; } // requests answered
    void Stop();

    // The answer to one request; public for the HTTP library's callbacks.
    int Answer(MHD_Connection* connection, const char* method, const char* rawPath);
    RequestDeadlines& deadlines() { return *deadlines_; }

private:
    SiteServer(const SiteServerOptions& options, std::unique_ptr<SiteFolder> folder);

    std::map<std::string, HttpHandler> handlers_;
    std::unique_ptr<SiteFolder> folder_;
    std::unique_ptr<RequestDeadlines> deadlines_;
    MHD_Daemon* daemon_ = nullptr;
    uint16_t port_ = 0;
    std::atomic<uint64_t> requests_ = 0;
};

} // namespace vessaro
