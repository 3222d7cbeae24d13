#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vessaro {

// What a vessaro-server says once it serves: "vessaro-server: ready on ADDRESS:PORT[, …] (http
// N|http off, metrics …)". The first UDP address and port, and the web site's port (0: off).
struct ReadyLine {
    std::string address;
    uint16_t port = 0;
    uint16_t httpPort = 0;
};
// The ready line's fields; nothing for any other line or a port out of range.
std::optional<ReadyLine> ParseReadyLine(std::string_view line);

// The arguments every launched server starts with: its UDP address and port (0: a free one), its
// web site's port (0: no web site), and no metrics listener, which parallel servers would otherwise
// share. The caller's own arguments follow.
std::vector<std::string> ServerLaunchArguments(const std::string& bind, uint16_t port,
                                               uint16_t httpPort,
                                               const std::vector<std::string>& extra = {});

// A port of 127.0.0.1 that was free when asked, for a server that must be addressed before it
// starts; 0 when none could be had.
enum class PortKind { Udp, Tcp };
uint16_t FreeLoopbackPort(PortKind kind);

// A vessaro-server started as a child process with its standard output on a pipe, stopped
// (SIGTERM, then SIGKILL) with the object. The child dies with the thread that started it, so an
// aborted test or benchmark leaves no server behind.
class ServerLaunch {
public:
    enum class Errors { Inherit, Discard };

    ServerLaunch(const std::string& program, const std::vector<std::string>& arguments,
                 Errors errors = Errors::Inherit);
    ~ServerLaunch();
    ServerLaunch(const ServerLaunch&) = delete;
    ServerLaunch& operator=(const ServerLaunch&) = delete;

    // Reads its output until the ready line; nothing when the server ends or stays silent.
    std::optional<ReadyLine>
    WaitReady(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The next line of its output, or nothing when none comes in time or the output ended.
    std::optional<std::string>
    ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Every line read so far, one per line.
    const std::string& output() const { return output_; }

    int pid() const { return pid_; }
    // Whether it still runs (an ended child is reaped here, its exit code kept for Wait).
    bool running() { return pid_ > 0 && !Wait(std::chrono::milliseconds(0)); }
    void Signal(int signal);
    // The exit code (128 + signal when killed by one), or nothing if it did not end in time.
    std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // SIGTERM, up to two seconds to end, then SIGKILL.
    void Stop();

private:
    int pid_ = -1;
    int pipe_ = -1;
    std::string pending_;
    std::string output_;
    std::optional<int> exitCode_;
};

} // namespace vessaro
