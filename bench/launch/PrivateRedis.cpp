#include "PrivateRedis.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vessaro {
namespace {

constexpr int kAttempts = 3; // another process may take the free port before Redis binds it
constexpr auto kStartLimit = std::chrono::seconds(10);

// The last line Redis wrote, which names why it stopped ("Address already in use" …).
std::string LastLine(const std::string& output) {
    std::string_view text = output;
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    const std::size_t start = text.rfind('\n');
    return std::string(start == std::string_view::npos ? text : text.substr(start + 1));
}

bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    return poll(&p, 1, timeoutMs) == 1 && (p.revents & events) != 0;
}

} // namespace

PrivateRedis::PrivateRedis(PrivateRedisOptions options) : options_(std::move(options)) {
    program_ = FindProgram(options_.program);
    if (program_.empty()) {
        error_ = options_.program + " was not found (Debian: apt-get install redis-server)";
        return;
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vessaro-redis-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        error_ = "cannot make a temporary folder for Redis";
        return;
    }
    folder_ = pattern;
    for (int attempt = 0; attempt < kAttempts && !ready(); ++attempt) {
        const uint16_t port = FreeLoopbackPort(PortKind::Tcp);
        if (port != 0 && Launch(port))
            port_ = port;
    }
}

PrivateRedis::~PrivateRedis() {
    redis_.reset();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

std::string PrivateRedis::url() const {
    return "redis://127.0.0.1:" + std::to_string(port_);
}

bool PrivateRedis::Start() {
    if (redis_)
        return true;
    return ready() && Launch(port_);
}

void PrivateRedis::Stop() {
    redis_.reset(); // SIGTERM, then SIGKILL
}

bool PrivateRedis::Launch(uint16_t port) {
    // Standard output carries its log; only warnings, so that the unread pipe never fills.
    std::vector<std::string> arguments{"--port",
                                       std::to_string(port),
                                       "--bind",
                                       "127.0.0.1",
                                       "--save",
                                       "",
                                       "--appendonly",
                                       "no",
                                       "--dir",
                                       folder_,
                                       "--daemonize",
                                       "no",
                                       "--logfile",
                                       "",
                                       "--loglevel",
                                       "warning",
                                       "--protected-mode",
                                       "yes"};
    if (!options_.password.empty())
        arguments.insert(arguments.end(), {"--requirepass", options_.password});
    arguments.insert(arguments.end(), options_.arguments.begin(), options_.arguments.end());
    redis_ = std::make_unique<ServerLaunch>(program_, arguments);
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!redis_->running()) {
            while (redis_->ReadLine(std::chrono::milliseconds(100))) {
            }
            const std::string why = LastLine(redis_->output());
            error_ = "redis-server stopped at start" + (why.empty() ? "" : ": " + why);
            redis_.reset();
            return false;
        }
        if (RedisAnswersPing(port, 200)) {
            error_.clear();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "redis-server did not answer on port " + std::to_string(port) + " within " +
             std::to_string(kStartLimit.count()) + " s";
    redis_.reset();
    return false;
}

bool RedisAnswersPing(uint16_t port, int timeoutMs) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool answered = false;
    const bool connecting =
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
        errno == EINPROGRESS;
    int failure = 0;
    socklen_t size = sizeof failure;
    constexpr std::string_view kPing = "PING\r\n", kPong = "+PONG\r\n", kNoAuth = "-NOAUTH";
    if (connecting && WaitFor(fd, POLLOUT, timeoutMs) &&
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size) == 0 && failure == 0 &&
        send(fd, kPing.data(), kPing.size(), MSG_NOSIGNAL) == ssize_t(kPing.size())) {
        std::string reply;
        char chunk[64];
        while (reply.size() < kPong.size() && WaitFor(fd, POLLIN, timeoutMs)) {
            const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            reply.append(chunk, std::size_t(n));
        }
        answered = reply.starts_with(kPong) || reply.starts_with(kNoAuth);
    }
    close(fd);
    return answered;
}

std::string FindProgram(const std::string& name) {
    auto runnable = [](const std::string& path) {
        return access(path.c_str(), X_OK) == 0 && !std::filesystem::is_directory(path);
    };
    if (name.empty())
        return "";
    if (name.find('/') != std::string::npos)
        return runnable(name) ? name : "";
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (runnable(candidate))
            return candidate;
    }
    return "";
}

} // namespace vessaro
