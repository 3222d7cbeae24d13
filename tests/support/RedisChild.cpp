#include "RedisChild.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vessaro::test {
namespace {

// A TCP port that nobody listens on now: the kernel's choice for a socket bound to port 0. Another
// program may take it before redis-server does; Start then fails and the caller sees it.
uint16_t FreeTcpPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

} // namespace

bool RedisAnswersPing(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    bool answered = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const char ping[] = "PING\r\n";
        if (write(fd, ping, sizeof ping - 1) == ssize_t(sizeof ping - 1)) {
            pollfd p{fd, POLLIN, 0};
            char reply[16] = {};
            if (poll(&p, 1, 500) > 0 && read(fd, reply, sizeof reply - 1) > 0)
                answered = std::string(reply).rfind("+PONG", 0) == 0;
        }
    }
    close(fd);
    return answered;
}

RedisChild::RedisChild() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vessaro-redis-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder for redis-server");
    folder_ = pattern;
    // Another program may take the free port before redis-server binds it: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = FreeTcpPort();
        if (Start())
            return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    throw std::runtime_error("redis-server did not start (is the redis-server package installed?)");
}

RedisChild::~RedisChild() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string RedisChild::url() const {
    return "redis://127.0.0.1:" + std::to_string(port_);
}

bool RedisChild::Start() {
    if (process_)
        return true;
    // The log goes to a file: an unread pipe would fill and stall the server.
    process_ = std::make_unique<ChildProcess>(
        "/usr/bin/redis-server",
        std::vector<std::string>{"--port", std::to_string(port_), "--bind", "127.0.0.1", "--save",
                                 "", "--appendonly", "no", "--dir", folder_, "--logfile",
                                 folder_ + "/redis.log", "--daemonize", "no", "--protected-mode",
                                 "no"},
        false);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (RedisAnswersPing(port_))
            return true;
        if (process_->Wait(std::chrono::milliseconds(20)))
            break; // it ended: the port was taken, or redis-server is missing
    }
    process_.reset();
    return false;
}

void RedisChild::Stop() {
    if (!process_)
        return;
    process_->Signal(SIGTERM);
    process_->Wait(std::chrono::seconds(3));
    process_.reset(); // kills it if it still runs
}

} // namespace vessaro::test
