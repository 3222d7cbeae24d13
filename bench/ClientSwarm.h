#pragma once

#include "SimClient.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace vessaro::bench {

// Many simulated clients on one thread, their sockets watched by one epoll set.
class ClientSwarm {
public:
    ClientSwarm();
    ~ClientSwarm();
    ClientSwarm(const ClientSwarm&) = delete;
    ClientSwarm& operator=(const ClientSwarm&) = delete;

    // Opens count clients towards the server, on 127.0.0.1 + firstAddress and, past perAddress
    // clients, on the next loopback addresses. Returns false when a socket cannot be opened.
    bool Open(std::size_t count, UdpAddress server, std::size_t perAddress = 20000,
              uint32_t firstAddress = 0);
    std::size_t size() const { return clients_.size(); }
    SimClient& operator[](std::size_t i) { return *clients_[i]; }

    // Handles whatever arrives within timeoutMs (0: only what is waiting now). Returns the number
    // of datagrams read; onRead runs for each client that read some.
    int Pump(int timeoutMs, const std::function<void(SimClient&)>& onRead = {});
    // Pumps until done() or the time-out; true when done() came true.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // The clients' reconnections (SimClient::reconnects) added up.
    uint64_t reconnects() const;

    // Connects every client, at most window at a time; returns how many got a session.
    std::size_t ConnectAll(std::size_t window, std::chrono::milliseconds timeout);

private:
    int epoll_ = -1;
    std::vector<std::unique_ptr<SimClient>> clients_;
};

} // namespace vessaro::bench
