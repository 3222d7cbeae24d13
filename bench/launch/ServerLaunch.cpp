#include "ServerLaunch.h"

#include <arpa/inet.h>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vessaro {
namespace {

// A decimal port from 1 to 65535 that fills the whole text.
std::optional<uint16_t> ParsePort(std::string_view text) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return uint16_t(value);
}

} // namespace

std::optional<ReadyLine> ParseReadyLine(std::string_view line) {
    constexpr std::string_view kMarker = "vessaro-server: ready on ";
    constexpr std::string_view kHttp = " (http ";
    std::size_t at = line.find(kMarker);
    if (at == std::string_view::npos)
        return std::nullopt;
    line.remove_prefix(at + kMarker.size());
    const std::string_view first = line.substr(0, line.find_first_of(" "));
    const std::size_t colon = first.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    ReadyLine ready;
    std::string_view address = first.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    ready.address = std::string(address);
    std::optional<uint16_t> port = ParsePort(first.substr(colon + 1));
    const std::size_t http = line.find(kHttp);
    if (!port || http == std::string_view::npos)
        return std::nullopt;
    ready.port = *port;
    std::string_view web = line.substr(http + kHttp.size());
    web = web.substr(0, web.find_first_of(",)"));
    if (web != "off") {
        std::optional<uint16_t> httpPort = ParsePort(web);
        if (!httpPort)
            return std::nullopt;
        ready.httpPort = *httpPort;
    }
    return ready;
}

std::vector<std::string> ServerLaunchArguments(const std::string& bind, uint16_t port,
                                               uint16_t httpPort,
                                               const std::vector<std::string>& extra) {
    std::vector<std::string> arguments = {"--bind",         bind,
                                          "--port",         std::to_string(port),
                                          "--http-port",    std::to_string(httpPort),
                                          "--metrics-bind", ""};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
}

uint16_t FreeLoopbackPort(PortKind kind) {
    const int fd = socket(AF_INET, kind == PortKind::Udp ? SOCK_DGRAM : SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

ServerLaunch::ServerLaunch(const std::string& program, const std::vector<std::string>& arguments,
                           Errors errors) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Opened before the fork: the child only calls what is safe there.
    const int null = errors == Errors::Discard ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], STDOUT_FILENO);
        if (null >= 0)
            dup2(null, STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (null >= 0)
        close(null);
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        return;
    }
    pipe_ = out[0];
}

ServerLaunch::~ServerLaunch() {
    Stop();
    if (pipe_ >= 0)
        close(pipe_);
}

std::optional<ReadyLine> ServerLaunch::WaitReady(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        std::optional<std::string> line = ReadLine(left);
        if (!line)
            return std::nullopt;
        if (std::optional<ReadyLine> ready = ParseReadyLine(*line))
            return ready;
    }
}

std::optional<std::string> ServerLaunch::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (std::size_t end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            output_ += line + "\n";
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || pipe_ < 0)
            return std::nullopt;
        pollfd p{pipe_, POLLIN, 0};
        if (poll(&p, 1, int(left.count())) <= 0)
            continue;
        char chunk[4096];
        ssize_t n = read(pipe_, chunk, sizeof chunk);
        if (n <= 0) {
            close(pipe_);
            pipe_ = -1;
            return std::nullopt;
        }
        pending_.append(chunk, std::size_t(n));
    }
}

void ServerLaunch::Signal(int signal) {
    if (running())
        kill(pid_, signal);
}

std::optional<int> ServerLaunch::Wait(std::chrono::milliseconds timeout) {
    if (exitCode_ || pid_ <= 0)
        return exitCode_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ServerLaunch::Stop() {
    if (!running())
        return;
    Signal(SIGTERM);
    if (Wait(std::chrono::seconds(2)))
        return;
    Signal(SIGKILL);
    Wait(std::chrono::seconds(10));
}

} // namespace vessaro
