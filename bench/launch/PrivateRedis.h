#pragma once

#include "ServerLaunch.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vessaro {

struct PrivateRedisOptions {
    // A path, or a name looked up in PATH.
    std::string program = "redis-server";
    // Asked of every client (requirepass); "" for none.
    std::string password;
    // More redis-server arguments, e.g. {"--user", "node on >pw ~vessaro:* +get"}.
    std::vector<std::string> arguments;
};

// A private redis-server for one test or benchmark: on a free port of 127.0.0.1, nothing saved
// (no snapshots, no append-only file), working in a temporary folder of its own, started on
// whatever CPUs the calling thread may use. It can be stopped and started again on the same port
// (to see what a cluster does when Redis goes away and returns); destruction stops it and removes
// the folder.
class PrivateRedis {
public:
    explicit PrivateRedis(PrivateRedisOptions options = {});
    ~PrivateRedis();
    PrivateRedis(const PrivateRedis&) = delete;
    PrivateRedis& operator=(const PrivateRedis&) = delete;

    // Whether it started; when not, error() says why, in words a user can act on.
    bool ready() const { return port_ != 0; }
    const std::string& error() const { return error_; }
    uint16_t port() const { return port_; }
    int pid() const { return redis_ ? redis_->pid() : -1; }
    bool running() const { return redis_ != nullptr; }
    // "redis://127.0.0.1:PORT", the form a node's --cluster takes.
    std::string url() const;
    const std::string& folder() const { return folder_; }

    // Starts it again on its port and waits until it answers; false when it does not in time.
    bool Start();
    // Stops it (SIGTERM, then SIGKILL). Harmless when it is stopped.
    void Stop();

private:
    bool Launch(uint16_t port);

    PrivateRedisOptions options_;
    std::string program_;
    std::string folder_;
    std::unique_ptr<ServerLaunch> redis_;
    uint16_t port_ = 0;
    std::string error_;
};

// True when a Redis on 127.0.0.1 at this port answers PING within timeoutMs: with PONG, or by
// asking for a password first.
bool RedisAnswersPing(uint16_t port, int timeoutMs = 1000);

// The program's path: the name itself when it holds a slash, else the first executable of that
// name in PATH; "" when there is none.
std::string FindProgram(const std::string& name);

} // namespace vessaro
