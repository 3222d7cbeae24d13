#include "Simulation.h"

#include "Console.h"
#include "WireTransform.h"

#include <algorithm>

namespace vessaro::test {

const Endpoint Simulation::kServerAddress{0xC0A80001, 8000}; // 192.168.0.1:8000

namespace {

std::vector<uint8_t> Complemented(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out(bytes.size());
    CommInvertBytes(bytes.data(), out.data(), int(bytes.size()));
    return out;
}

} // namespace

Simulation::Simulation(uint64_t seed, ServerConfig config, Impairment impairment)
    : console_(std::fopen("/dev/null", "w")), config_(std::move(config)),
      network_(seed, impairment), serverRandom_(seed ^ 0x5eed) {
    SetConsoleStream(console_);
    StartServer();
}

Simulation::~Simulation() {
    SetConsoleStream(nullptr);
    if (console_)
        std::fclose(console_);
}

SimClient& Simulation::AddClient() {
    const uint32_t n = uint32_t(clients_.size()) + 1;
    const Endpoint address(0x0A000001 | (n << 8), uint16_t(40000 + n)); // 10.0.n.1
    clients_.push_back(std::make_unique<SimClient>(
        address, kServerAddress,
        [this, address](std::span<const uint8_t> wire) {
            network_.Send(address, kServerAddress, wire, nowMs());
        },
        timers_, clock_));
    return *clients_.back();
}

void Simulation::StopServer() {
    server_.reset();
}

void Simulation::StartServer() {
    server_ = std::make_unique<MatchServer>(
        config_,
        [this](const Endpoint& to, std::span<const uint8_t> datagram) {
            network_.Send(kServerAddress, to, Complemented(datagram), nowMs());
        },
        [this] { return uint32_t(serverRandom_()); });
    server_->OnTimer(ServerTime());
}

void Simulation::Forge(const Endpoint& from, const Endpoint& to, std::span<const uint8_t> message) {
    network_.SendIntact(from, to, Complemented(message), nowMs());
}

void Simulation::After(uint32_t delayMs, std::function<void()> action) {
    timers_.Set(delayMs, 0, [action = std::move(action)](uint32_t) { action(); });
}

void Simulation::Deliver(const SimDatagram& datagram) {
    if (datagram.to.IsV4())
        bytesArrived_[datagram.to.V4()] += datagram.bytes.size();
    if (datagram.to == kServerAddress) {
        if (server_)
            server_->OnDatagram(datagram.from, Complemented(datagram.bytes), ServerTime());
        return;
    }
    for (auto& client : clients_)
        if (client->address() == datagram.to)
            client->Receive(datagram.from, datagram.bytes);
}

// Moves time to the earliest due thing (or untilMs) and does everything due then: engine timers
// fire inside the timer service's Advance, then arrivals, then the server's timers, then the
// clients' reactions to what they reported.
void Simulation::Step(uint64_t untilMs) {
    const uint64_t now = nowMs();
    uint64_t next = untilMs;
    if (auto timer = timers_.Next())
        next = std::min<uint64_t>(next, now + timer->remainingMs);
    if (auto arrival = network_.NextDueMs())
        next = std::min(next, std::max(now, *arrival));
    if (server_)
        if (auto due = server_->NextDueMs())
            next = std::min<uint64_t>(
                next, uint64_t(std::max<int64_t>(*due - kServerEpochMs, int64_t(now))));
    timers_.Advance(uint32_t(next - now));
    for (const SimDatagram& datagram : network_.TakeDue(next))
        Deliver(datagram);
    if (server_)
        server_->OnTimer(ServerTime());
    for (auto& client : clients_)
        client->HandOnEvents();
}

bool Simulation::RunUntil(const std::function<bool()>& done, uint64_t limitMs) {
    const uint64_t end = nowMs() + limitMs;
    while (!done()) {
        if (nowMs() >= end)
            return false;
        Step(end);
    }
    return true;
}

void Simulation::RunFor(uint64_t ms) {
    const uint64_t end = nowMs() + ms;
    while (nowMs() < end)
        Step(end);
}

uint64_t Simulation::BytesArrivedAt(uint32_t ipv4) const {
    auto it = bytesArrived_.find(ipv4);
    return it == bytesArrived_.end() ? 0 : it->second;
}

} // namespace vessaro::test
