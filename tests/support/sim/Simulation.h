#pragma once

#include "ManualClock.h"
#include "ManualTimerService.h"
#include "MatchServer.h"
#include "SimClient.h"
#include "SimNetwork.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <unordered_map>
#include <vector>

namespace vessaro::test {

// A whole system on one manual clock: one matching server core, any number of client engines and
// the simulated network between them, all driven by one seed. Nothing runs by itself: RunUntil
// moves time from one due thing (an engine timer, a datagram's arrival, a server timer) to the
// next, so minutes of protocol run in milliseconds and a seed replays the same run.
class Simulation {
public:
    static const Endpoint kServerAddress;

    explicit Simulation(uint64_t seed, ServerConfig config = ServerConfig{},
                        Impairment impairment = {});
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    // A new client engine at an address of its own (each in its own /24 network).
    SimClient& AddClient();

    // The server process dies: its core and everything it knew are gone, datagrams to its address
    // vanish. StartServer brings up a new core at the same address.
    void StopServer();
    void StartServer();
    bool serverRunning() const { return server_ != nullptr; }
    MatchServer& server() { return *server_; }

    SimNetwork& network() { return network_; }
    // Sends a plain message, complemented as on the wire, from any address, arriving intact.
    void Forge(const Endpoint& from, const Endpoint& to, std::span<const uint8_t> message);
    // Runs the action at nowMs() + delayMs, outside every lock (a user acting later).
    void After(uint32_t delayMs, std::function<void()> action);

    // Runs until done() holds (checked after every step) or limitMs have passed; false then.
    bool RunUntil(const std::function<bool()>& done, uint64_t limitMs);
    void RunFor(uint64_t ms);

    uint64_t nowMs() const { return timers_.Elapsed(); }
    // Wire bytes that arrived at this address (any port) since the start.
    uint64_t BytesArrivedAt(uint32_t ipv4) const;

private:
    void Step(uint64_t untilMs);
    void Deliver(const SimDatagram& datagram);
    int64_t ServerTime() const { return int64_t(nowMs()) + kServerEpochMs; }
    static constexpr int64_t kServerEpochMs = 1'000'000;

    std::FILE* console_; // the engines' diagnostic lines go nowhere: thousands per scenario
    ServerConfig config_;
    ManualClock clock_{1000};
    ManualTimerService timers_{clock_};
    SimNetwork network_;
    std::mt19937_64 serverRandom_;
    std::unique_ptr<MatchServer> server_;
    std::vector<std::unique_ptr<SimClient>> clients_;
    std::unordered_map<uint32_t, uint64_t> bytesArrived_;
};

} // namespace vessaro::test
