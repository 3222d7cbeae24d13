#pragma once

#include "Endpoint.h"
#include "MatchServer.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <poll.h>
#include <span>
#include <string>
#include <vector>

namespace vessaro {

class StatsSnapshot;

// What the loop does besides serving datagrams; every function runs on the loop's thread.
struct LoopHooks {
    std::function<void()> reload;   // after RequestReload
    std::function<void()> stopping; // once a stop is asked, before the goodbyes
    int64_t statsIntervalMs = 0;    // 0: never
    std::function<void(const ServerStats&)> stats;
    int64_t watchdogIntervalMs = 0; // 0: never
    std::function<void()> watchdog;
    StatsSnapshot* snapshot = nullptr; // stats published for other threads, and the heartbeat
    // Each time Wake (or a stop or reload request) turns the loop, before the timers run: where
    // work handed over by other threads (the cluster's events) is taken in.
    std::function<void(int64_t nowMs)> woken;
};

// The matching server's UDP sockets and their event loop: non-blocking, driven by poll, with the
// wire transform (the byte complement) applied both ways. It feeds received datagrams and the
// time to the protocol core and sends what the core sends.
//
// The loop holds one socket per address it is given, all on one port: "::" alone serves IPv6 and
// IPv4 (as mapped addresses); any other IPv6 address serves only IPv6. A reply leaves through a
// socket of the client's family: an IPv4 client through the IPv4 socket when there is one, else
// through the dual-stack one. With at most one address per family (as the server binds them) that
// is the socket the client's datagrams came in on.
class ServerLoop {
public:
    // Opens a socket on each address at port (0: any free port, the same for all). Null, with the
    // reason in error, when any of them fails; then no socket stays open.
    static std::unique_ptr<ServerLoop> Open(const std::vector<Endpoint>& addresses, uint16_t port,
                                            std::string& error);
    ~ServerLoop();
    ServerLoop(const ServerLoop&) = delete;
    ServerLoop& operator=(const ServerLoop&) = delete;

    uint16_t port() const { return port_; }
    // "127.0.0.1:13366", "[::]:13366" …, one per socket, in the order they were given.
    std::vector<std::string> BoundText() const;

    // Sends one datagram, complemented, to a client: the protocol core's sink.
    void Send(const Endpoint& to, std::span<const uint8_t> datagram);

    // Runs the core until RequestStop; then lets the core say goodbye to every client and
    // returns.
    void Run(MatchServer& core, const LoopHooks& hooks);

    // Safe to call from a signal handler or another thread: end Run soon; run the reload hook
    // soon; turn the loop once.
    void RequestStop();
    void RequestReload();
    void Wake();

    uint64_t sendFailures() const { return sendFailures_; }
    // Datagrams the kernel dropped on arrival at the loop's sockets (full buffers), all together.
    uint64_t ReceiveDrops() const;

    // Milliseconds of a monotonic clock.
    static int64_t NowMs();

private:
    struct Socket;
    struct Inbox;

    ServerLoop(std::vector<Socket> sockets, int wakeEvent, uint16_t port);
    void ReceiveAll(MatchServer& core, Socket& socket, int64_t& now);
    Socket* SocketFor(const Endpoint& to);
    void SendNow(Socket& socket, const Endpoint& to, const uint8_t* wire, std::size_t size);
    void FlushOutboxes();
    void Flush(Socket& socket);
    int WaitTimeoutMs(const MatchServer& core, int64_t nextStatsMs, int64_t nextWatchdogMs) const;
    bool WaitWritable(int fd);

    std::vector<Socket> sockets_;
    std::vector<pollfd> watched_; // the sockets, in order, then the wake event
    int wakeEvent_;
    uint16_t port_;
    std::atomic<bool> stopAsked_ = false;
    std::atomic<bool> reloadAsked_ = false;
    bool flushing_ = false; // while saying goodbye, a full send buffer is waited for
    uint64_t sendFailures_ = 0;
    std::unique_ptr<Inbox> inbox_;
    bool batching_ = false; // while a received batch or the timers run, sends wait in the outboxes
};

} // namespace vessaro
