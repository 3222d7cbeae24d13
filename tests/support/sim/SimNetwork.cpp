#include "SimNetwork.h"

#include <algorithm>

namespace vessaro::test {

SimNetwork::SimNetwork(uint64_t seed, Impairment impairment)
    : random_(seed), impairment_(impairment) {}

uint32_t SimNetwork::Delay() {
    uint32_t delay = std::max<uint32_t>(impairment_.delayMs, 1);
    if (impairment_.jitterMs > 0)
        delay += std::uniform_int_distribution<uint32_t>(0, impairment_.jitterMs)(random_);
    return delay;
}

void SimNetwork::Send(const Endpoint& from, const Endpoint& to, std::span<const uint8_t> bytes,
                      uint64_t nowMs) {
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    SimDatagram datagram{from, to, std::vector<uint8_t>(bytes.begin(), bytes.end())};
    if (observer)
        observer(datagram);
    if (chance(random_) < impairment_.duplicate) {
        ++duplicated_;
        Schedule(datagram, nowMs + Delay());
    }
    if (chance(random_) < impairment_.drop) {
        ++dropped_;
        return;
    }
    Schedule(std::move(datagram), nowMs + Delay());
}

void SimNetwork::SendIntact(const Endpoint& from, const Endpoint& to,
                            std::span<const uint8_t> bytes, uint64_t nowMs) {
    Schedule(SimDatagram{from, to, std::vector<uint8_t>(bytes.begin(), bytes.end())},
             nowMs + std::max<uint32_t>(impairment_.delayMs, 1));
}

void SimNetwork::Schedule(SimDatagram datagram, uint64_t dueMs) {
    inFlight_.push_back(InFlight{dueMs, nextOrder_++, std::move(datagram)});
}

std::optional<uint64_t> SimNetwork::NextDueMs() const {
    if (inFlight_.empty())
        return std::nullopt;
    return std::min_element(inFlight_.begin(), inFlight_.end(),
                            [](const InFlight& a, const InFlight& b) { return a.dueMs < b.dueMs; })
        ->dueMs;
}

std::vector<SimDatagram> SimNetwork::TakeDue(uint64_t nowMs) {
    auto due = std::partition(inFlight_.begin(), inFlight_.end(),
                              [&](const InFlight& f) { return f.dueMs > nowMs; });
    std::vector<InFlight> taken(std::make_move_iterator(due),
                                std::make_move_iterator(inFlight_.end()));
    inFlight_.erase(due, inFlight_.end());
    std::sort(taken.begin(), taken.end(), [](const InFlight& a, const InFlight& b) {
        return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.order < b.order;
    });
    std::vector<SimDatagram> out;
    out.reserve(taken.size());
    for (InFlight& f : taken)
        out.push_back(std::move(f.datagram));
    return out;
}

} // namespace vessaro::test
