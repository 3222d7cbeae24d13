#pragma once

#include "ServerLaunch.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vessaro::bench {

// A private redis-server for one benchmark or test: on a free port of 127.0.0.1, nothing saved
// (no snapshots, no append-only file), its working folder a temporary one. Stopped and its folder
// removed with the object. Started on whatever CPUs the calling thread may use.
class RedisUnderTest {
public:
    // program: a path, or a name looked up in PATH ("redis-server").
    explicit RedisUnderTest(const std::string& program = "redis-server");
    ~RedisUnderTest();
    RedisUnderTest(const RedisUnderTest&) = delete;
    RedisUnderTest& operator=(const RedisUnderTest&) = delete;

    bool ready() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    int pid() const { return redis_ ? redis_->pid() : -1; }
    // "redis://127.0.0.1:PORT", the form a node's --cluster takes.
    std::string url() const;
    const std::string& folder() const { return folder_; }
    // Why it did not start, in words a user can act on.
    const std::string& error() const { return error_; }

private:
    bool Launch(const std::string& program, uint16_t port);

    std::string folder_;
    std::unique_ptr<ServerLaunch> redis_;
    uint16_t port_ = 0;
    std::string error_;
};

// True when a Redis on 127.0.0.1 at this port answers PING with PONG within timeoutMs.
bool RedisAnswersPing(uint16_t port, int timeoutMs = 1000);

// The program's path: the name itself when it holds a slash, else the first executable of that
// name in PATH; "" when there is none.
std::string FindProgram(const std::string& name);

} // namespace vessaro::bench
