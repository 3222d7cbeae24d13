#include "ServerUnderTest.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace vessaro::bench {
namespace {

std::vector<std::string> Arguments(const std::string& program, std::vector<std::string> extra) {
    std::vector<std::string> args{program,      "--bind",
                                  "127.0.0.1",  "--port",
                                  "0",          "--http-port",
                                  "0",          "--max-sessions",
                                  "1000000",    "--max-sessions-per-address",
                                  "1000000",    "--text-rate",
                                  "1000000000", "--address-rate",
                                  "1000000000"};
    // Benchmarks running at once would share the metrics listener's default port.
    args.insert(args.end(), {"--metrics-bind", ""});
    // The load generator connects thousands of clients from a few loopback networks at once: lift
    // the per-network budget of replies to unproven addresses, which protects the victims of
    // forged connects on a public server.
    args.insert(args.end(), {"--unproven-bytes-per-second", "1e9"});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// Reads one line from the pipe within the time-out.
std::optional<std::string> ReadLine(int fd, std::string& pending, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (auto end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, int(left)) <= 0)
            return std::nullopt;
        char chunk[512];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return std::nullopt;
        pending.append(chunk, std::size_t(n));
    }
}

} // namespace

std::optional<uint16_t> ParseReadyPort(const std::string& line) {
    const std::string marker = "ready on ";
    auto at = line.find(marker);
    if (at == std::string::npos)
        return std::nullopt;
    auto colon = line.find(':', at + marker.size());
    if (colon == std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    unsigned long port = std::strtoul(line.c_str() + colon + 1, &end, 10);
    if (end == line.c_str() + colon + 1 || port == 0 || port > 65535)
        return std::nullopt;
    return uint16_t(port);
}

ServerUnderTest::ServerUnderTest(const std::string& program, std::vector<std::string> extra) {
    int out[2];
    if (pipe(out) != 0) {
        error_ = "pipe failed";
        return;
    }
    std::vector<std::string> args = Arguments(program, std::move(extra));
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        ExecInChild(std::move(args));
    }
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        error_ = "fork failed";
        return;
    }
    std::string pending;
    while (std::optional<std::string> line = ReadLine(out[0], pending, 10000)) {
        if (std::optional<uint16_t> port = ParseReadyPort(*line)) {
            port_ = *port;
            break;
        }
    }
    close(out[0]); // the server writes nothing more unless asked for stats lines
    if (!port_)
        error_ = "the server did not start: " + program;
}

ServerUnderTest::~ServerUnderTest() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        usleep(20000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::optional<ProcessUsage> ReadProcessUsage(int pid) {
    ProcessUsage usage;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    bool found = false;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            usage.rssMegabytes = kb / 1024.0;
            found = true;
            break;
        }
        status.ignore(1 << 16, '\n');
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name (which may hold blanks) start after its closing parenthesis;
    // utime and stime are fields 14 and 15 of the line.
    auto close = text.rfind(')');
    if (!found || close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::strtod(field.c_str(), nullptr);
    usage.cpuSeconds = ticks / double(sysconf(_SC_CLK_TCK));
    return usage;
}

void ExecInChild(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

} // namespace vessaro::bench
