#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vessaro::test {

// A private redis-server for one test: on 127.0.0.1 at a free port, without persistence, working
// in a temporary folder of its own. It can be stopped and started again on the same port (to test
// what the cluster does when Redis goes away and returns); destruction stops it and removes the
// folder.
class RedisChild {
public:
    RedisChild();
    ~RedisChild();
    RedisChild(const RedisChild&) = delete;
    RedisChild& operator=(const RedisChild&) = delete;

    uint16_t port() const { return port_; }
    // "redis://127.0.0.1:PORT", the form vessaro-server's --cluster takes.
    std::string url() const;
    bool running() const { return process_ != nullptr; }

    // Starts it on its port and waits until it answers PING; false when it does not in time.
    bool Start();
    // Stops it (a clean shutdown; killed if that takes too long). Harmless when it is stopped.
    void Stop();

private:
    uint16_t port_ = 0;
    std::string folder_;
    std::unique_ptr<ChildProcess> process_;
};

// Whether a Redis server answers PING on 127.0.0.1 at the port.
bool RedisAnswersPing(uint16_t port);

} // namespace vessaro::test
