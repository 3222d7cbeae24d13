#pragma once

#include "ServerLaunch.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vessaro::bench {

// A vessaro-server started for one scenario on 127.0.0.1 at a free port, with its abuse limits
// raised so that the load generator measures the server and not its guards. Stopped (SIGTERM, then
// SIGKILL) with the object.
class ServerUnderTest {
public:
    ServerUnderTest(const std::string& program, std::vector<std::string> extraArguments = {});
    ServerUnderTest(const ServerUnderTest&) = delete;
    ServerUnderTest& operator=(const ServerUnderTest&) = delete;

    bool ready() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    int pid() const { return server_.pid(); }
    const std::string& error() const { return error_; }

private:
    ServerLaunch server_;
    uint16_t port_ = 0;
    std::string error_;
};

// What /proc says of a process: resident memory and CPU time used so far.
struct ProcessUsage {
    double rssMegabytes = 0;
    double cpuSeconds = 0;
    // Time its main thread was ready to run but waited for a CPU that other work held (0 where
    // the system keeps no such count).
    double runQueueSeconds = 0;
};
std::optional<ProcessUsage> ReadProcessUsage(int pid);
// Datagrams the system dropped so far because a UDP socket's receive buffer was full (all
// sockets of the machine: the loopback traffic of the benchmark and of anything else).
std::optional<uint64_t> ReadUdpReceiveDrops();

// Datagrams the system dropped so far at the UDP sockets bound to this local port (any address)
// because their receive buffer was full: a count of the server's or the generator's own sockets,
// unlike ReadUdpReceiveDrops. Nothing when no such socket is listed.
std::optional<uint64_t> ReadSocketDrops(uint16_t port);
// The drops column of one line of /proc/net/udp when its socket is bound to the port.
std::optional<uint64_t> SocketDropsFromLine(const std::string& line, uint16_t port);

// In a forked child: runs the program args[0] with the arguments that follow; exits with 127 when
// it cannot be run.
[[noreturn]] void ExecInChild(std::vector<std::string> args);

} // namespace vessaro::bench
