#pragma once

#include "UdpPeer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace vessaro::test {

// What happens to datagrams going one way through the proxy, decided by a seeded generator so a
// run can be repeated: each is dropped with one probability, sent twice with another, and held
// back for a random time up to the largest delay (which reorders datagrams sent close together).
struct Impairment {
    double drop = 0.0;
    double duplicate = 0.0;
    int maxDelayMs = 0;
};

// A UDP relay on 127.0.0.1 between one client and the matching server, impairing the traffic both
// ways. The client talks to port(); the server sees the proxy's own socket as the client. It also
// notes the session and conversation ids the client puts into its datagrams, as an eavesdropper on
// the path would.
class ImpairmentProxy {
public:
    ImpairmentProxy(uint16_t serverPort, Impairment toServer, Impairment toClient, uint32_t seed);
    ~ImpairmentProxy();
    ImpairmentProxy(const ImpairmentProxy&) = delete;
    ImpairmentProxy& operator=(const ImpairmentProxy&) = delete;

    uint16_t port() const { return clientSide_.port(); }
    // The proxy's address as the server sees it (127.0.0.1 and this port).
    uint16_t serverSidePort() const { return serverSide_.port(); }

    int32_t sessionId() const { return sessionId_.load(); }
    int32_t conversationId() const { return conversationId_.load(); }

    struct Counts {
        uint64_t forwarded = 0, dropped = 0, duplicated = 0;
    };
    Counts toServer() const;
    Counts toClient() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        bool toServer;
        std::vector<uint8_t> bytes;
    };

    void Run();
    void Receive(UdpPeer& socket, bool toServer);
    void Schedule(bool toServer, const std::vector<uint8_t>& bytes);
    void SendDue();
    void NoteIds(const std::vector<uint8_t>& wire);

    UdpPeer clientSide_; // faces the client
    UdpPeer serverSide_; // faces the server
    uint16_t serverPort_;
    uint16_t clientPort_ = 0; // where the client was last heard from
    Impairment impair_[2];    // [0] to the client, [1] to the server
    std::mt19937 random_;
    std::multimap<Clock::time_point, Pending> pending_;

    mutable std::mutex countsMutex_;
    Counts counts_[2];
    std::atomic<int32_t> sessionId_{0};
    std::atomic<int32_t> conversationId_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace vessaro::test
