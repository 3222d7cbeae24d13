#pragma once

#include "ChildProcess.h"
#include "ServerLaunch.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vessaro::test {

// A real vessaro-server of the build on 127.0.0.1 at a free port, started for one test and
// stopped with it; the clients it starts are vessaro-cli processes with --json.
class ServerChild {
public:
    // On a free port, or on the given one (to start a server again where one ran before).
    explicit ServerChild(std::vector<std::string> extraArguments = {}, uint16_t port = 0);
    ServerChild(const ServerChild&) = delete;
    ServerChild& operator=(const ServerChild&) = delete;

    uint16_t port() const { return port_; }
    ServerLaunch& process() { return *process_; }

    // A vessaro-cli talking to this server, with the given options.
    std::unique_ptr<ChildProcess> StartClient(const std::vector<std::string>& options) const;
    // The same, talking to another port on 127.0.0.1 that leads to this server (a proxy).
    std::unique_ptr<ChildProcess> StartClientVia(uint16_t port,
                                                 const std::vector<std::string>& options) const;

private:
    std::unique_ptr<ServerLaunch> process_;
    uint16_t port_ = 0;
};

} // namespace vessaro::test
