#pragma once

#include "Endpoint.h"
#include "MatchServer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace vessaro {

// The matching server's one UDP socket and its event loop: non-blocking, driven by epoll, with the
// wire transform (the byte complement) applied both ways. It feeds received datagrams and the
// time to the protocol core and sends what the core sends.
class ServerLoop {
public:
    // Opens the socket on an IPv4 or IPv6 address and port (0: any free port); "::" serves both.
    // Null, with the reason in error, when that fails.
    static std::unique_ptr<ServerLoop> Open(const std::string& bindAddress, uint16_t port,
                                            std::string& error);
    ~ServerLoop();
    ServerLoop(const ServerLoop&) = delete;
    ServerLoop& operator=(const ServerLoop&) = delete;

    uint16_t port() const { return port_; }

    // Sends one datagram, complemented, to a client: the protocol core's sink.
    void Send(const Endpoint& to, std::span<const uint8_t> datagram);

    // Runs the core until RequestStop, writing a stats line through log every statsIntervalMs
    // (0: never); then lets the core say goodbye to every client and returns.
    void Run(MatchServer& core, int64_t statsIntervalMs,
             const std::function<void(const std::string&)>& log);

    // Ends Run soon. Safe to call from a signal handler.
    void RequestStop();

    // Milliseconds of a monotonic clock.
    static int64_t NowMs();

private:
    // Datagrams the core sends while a batch of received ones is handled; they leave together
    // when the batch is done, so that a busy server makes two system calls per batch rather
    // than two per datagram.
    struct Outbox;

    ServerLoop(int socket, int epoll, int stopEvent, uint16_t port, bool v6);
    void ReceiveAll(MatchServer& core);
    void SendNow(const Endpoint& to, const uint8_t* wire, std::size_t size);
    void FlushOutbox();
    int WaitTimeoutMs(const MatchServer& core, int64_t nextStatsMs) const;
    bool WaitWritable();

    int socket_;
    int epoll_;
    int stopEvent_;
    uint16_t port_;
    bool v6_;               // an IPv6 socket, which reaches IPv4 clients through mapped addresses
    bool flushing_ = false; // while saying goodbye, a full send buffer is waited for
    uint64_t sendFailures_ = 0;
    std::unique_ptr<Outbox> outbox_;
    bool batching_ = false; // while a received batch is handled, sends wait in the outbox
};

} // namespace vessaro
