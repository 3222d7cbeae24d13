#include "SiteServer.h"

#include "RequestDeadlines.h"
#include "SitePath.h"

#include <microhttpd.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {
namespace {

constexpr auto kSweepInterval = std::chrono::milliseconds(200);
// The page a bare "/" leads to when the site has no index.html of its own.
constexpr const char* kHomePage = "/match/adv.html";

std::string AddressAndPort(const std::string& bind, uint16_t port) {
    std::string text = bind;
    if (bind.find(':') != std::string::npos) // IPv6: brackets keep the port apart
        text.insert(0, 1, '[').push_back(']');
    text += ':';
    text += std::to_string(port);
    return text;
}

// Each connection holds its socket and our duplicate of it; leave room for both at the limit.
void RaiseFileLimit(rlim_t needed) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= needed)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
}

bool IsUnspecified(const addrinfo& info) {
    return info.ai_family == AF_INET6 &&
           IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6*>(info.ai_addr)->sin6_addr);
}

// A listening TCP socket on bind:port, or -1 with the reason in error. Our own socket rather
// than the library's, so that nothing sets SO_REUSEPORT: a second server on a taken port must
// fail to bind instead of sharing the port. "::" also takes IPv4 clients.
int OpenListener(const std::string& bind, uint16_t port, uint16_t& boundPort, bool& v6,
                 std::string& error) {
    const std::string where = AddressAndPort(bind, port);
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = getaddrinfo(bind.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup != 0) {
        error = "cannot listen for HTTP on " + where + ": " + gai_strerror(lookup);
        return -1;
    }
    error = "cannot listen for HTTP on " + where + ": no usable address";
    int s = -1;
    for (addrinfo* info = found; info; info = info->ai_next) {
        s = socket(info->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0)
            continue;
        const int on = 1;
        const int off = 0;
        // SO_REUSEADDR only lets a restarted server past the old connections' TIME_WAIT; on
        // Linux it never lets two sockets listen on one port.
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (IsUnspecified(*info))
            setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        if (::bind(s, info->ai_addr, info->ai_addrlen) == 0 && listen(s, SOMAXCONN) == 0) {
            v6 = info->ai_family == AF_INET6;
            break;
        }
        const int failure = errno;
        error = "cannot listen for HTTP on " + where + ": " + std::strerror(failure);
        close(s);
        s = -1;
        if (failure == EADDRINUSE || failure == EACCES)
            break; // the next address of the same name would not be what was asked for
    }
    freeaddrinfo(found);
    if (s < 0)
        return -1;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
    boundPort = local.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    return s;
}

MHD_Response* TextResponse(const std::string& text) {
    return MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()),
                                           MHD_RESPMEM_MUST_COPY);
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char*, size_t*, void**) {
    return MHD_Result(static_cast<SiteServer*>(cls)->Answer(connection, method, url));
}

// Leaves the path as the client sent it: it is decoded once, and checked, in DecodeRequestPath.
size_t KeepEscapes(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

void OnConnection(void* cls, MHD_Connection* connection, void**,
                  MHD_ConnectionNotificationCode code) {
    RequestDeadlines& deadlines = static_cast<SiteServer*>(cls)->deadlines();
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        deadlines.Remove(connection);
        return;
    }
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info)
        deadlines.Add(connection, info->connect_fd, RequestDeadlines::Clock::now());
}

void OnRequestDone(void* cls, MHD_Connection* connection, void**, MHD_RequestTerminationCode) {
    static_cast<SiteServer*>(cls)->deadlines().Restart(connection, RequestDeadlines::Clock::now());
}

} // namespace

SiteServer::SiteServer(const SiteServerOptions& options, std::unique_ptr<SiteFolder> folder)
    : handlers_(options.handlers), folder_(std::move(folder)),
      deadlines_(
          std::make_unique<RequestDeadlines>(std::chrono::seconds(options.requestTimeoutSeconds))) {
}

std::unique_ptr<SiteServer> SiteServer::Start(const SiteServerOptions& options,
                                              std::string& error) {
    const std::string where = AddressAndPort(options.bind, options.port);
    if (options.maxConnections == 0 || options.maxConnectionsPerAddress == 0 ||
        options.requestTimeoutSeconds == 0) {
        error = "HTTP on " + where + ": connection limits and the request time must be above 0";
        return nullptr;
    }
    std::unique_ptr<SiteFolder> folder;
    if (!options.siteDir.empty() && !(folder = SiteFolder::Open(options.siteDir, error))) {
        error = "HTTP on " + where + ": " + error;
        return nullptr;
    }
    RaiseFileLimit(rlim_t(options.maxConnections) * 2 + 64);
    uint16_t port = 0;
    bool v6 = false;
    const int listener = OpenListener(options.bind, options.port, port, v6, error);
    if (listener < 0)
        return nullptr;

    std::unique_ptr<SiteServer> server(new SiteServer(options, std::move(folder)));
    server->port_ = port;
    SiteServer* self = server.get();
    const unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | (v6 ? MHD_USE_IPv6 : 0);
    server->daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &OnRequest, self, MHD_OPTION_LISTEN_SOCKET, listener,
        MHD_OPTION_CONNECTION_LIMIT, options.maxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        options.maxConnectionsPerAddress, MHD_OPTION_CONNECTION_TIMEOUT,
        options.requestTimeoutSeconds, MHD_OPTION_NOTIFY_CONNECTION, &OnConnection, self,
        MHD_OPTION_NOTIFY_COMPLETED, &OnRequestDone, self, MHD_OPTION_UNESCAPE_CALLBACK,
        &KeepEscapes, self, MHD_OPTION_END);
    if (!server->daemon_) {
        // The library may already have closed the socket it was given.
        if (fcntl(listener, F_GETFD) != -1)
            close(listener);
        error = "cannot start the HTTP server on " + AddressAndPort(options.bind, port);
        return nullptr;
    }
    server->deadlines_->StartSweeping(kSweepInterval);
    return server;
}

SiteServer::~SiteServer() {
    Stop();
}

void SiteServer::Stop() {
    if (daemon_) {
        MHD_stop_daemon(daemon_); // closes the listening socket and every connection
        daemon_ = nullptr;
    }
    deadlines_->Stop();
}

int SiteServer::Answer(MHD_Connection* connection, const char* method, const char* rawPath) {
    const std::string verb = method ? method : "";
    MHD_Response* response = nullptr;
    unsigned status = MHD_HTTP_OK;
    const RequestPath path = DecodeRequestPath(rawPath ? rawPath : "");
    auto handler = handlers_.end();
    SiteFile file;
    if (verb != "GET" && verb != "HEAD") {
        status = MHD_HTTP_METHOD_NOT_ALLOWED;
        response = TextResponse("only GET and HEAD are answered\n");
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    } else if (path.status != 200) {
        status = unsigned(path.status);
        response = TextResponse(status == 400 ? "bad request path\n" : "not found\n");
    } else if ((handler = handlers_.find(path.path)) != handlers_.end()) {
        HttpReply reply;
        try {
            reply = handler->second();
        } catch (...) {
            reply = HttpReply{500, "text/plain; charset=utf-8", "internal error\n"};
        }
        status = reply.status >= 100 && reply.status <= 599 ? unsigned(reply.status) : 500;
        response = TextResponse(reply.body);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    } else if (folder_ && (file = folder_->OpenFile(path.path)).IsOpen()) {
        const std::string type = ContentTypeFor(file.name());
        const int fd = file.Release();
        response = MHD_create_response_from_fd(size_t(file.size()), fd);
        if (!response)
            close(fd);
        else
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
    } else if (path.path == "/" && folder_) {
        status = MHD_HTTP_FOUND;
        response = TextResponse("");
        MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, kHomePage);
    } else {
        status = MHD_HTTP_NOT_FOUND;
        response = TextResponse("not found\n");
    }
    if (!response)
        return MHD_NO; // out of memory: the library closes the connection
    MHD_add_response_header(response, MHD_HTTP_HEADER_X_CONTENT_TYPE_OPTIONS, "nosniff");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    if (queued == MHD_YES)
        ++requests_;
    return queued;
}

} // namespace vessaro
