#pragma once

#include "ClientEngine.h"
#include "Endpoint.h"
#include "TimerService.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vessaro::test {

// One client in the simulation: a ClientEngine at its own address, with the transport's duties
// done as the real one does them: datagrams complemented on the wire, and only datagrams from
// exactly the server's address and port let through to the engine. Every event is recorded.
class SimClient {
public:
    struct Event {
        int32_t code;
        EventBlock block;
    };
    // Sends wire bytes from this client's address to the server.
    using WireOut = std::function<void(std::span<const uint8_t> wire)>;

    SimClient(Endpoint address, Endpoint server, WireOut out, TimerService& timers, Clock& clock);
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    // A datagram that arrived at this client's address, as it was on the wire.
    void Receive(const Endpoint& from, std::span<const uint8_t> wire);

    ClientEngine& engine() { return engine_; }
    int32_t state() const { return engine_.state(); }
    const Endpoint& address() const { return address_; }

    const std::vector<Event>& events() const { return events_; }
    std::size_t Count(int32_t code) const;
    // The codes reported, in order, keeping only those listed.
    std::vector<int32_t> Codes(std::initializer_list<int32_t> only) const;
    // The texts of EVT_TALK_TEXT, in the order they were shown.
    std::vector<std::string> TextsShown() const;
    // The ids of the posted texts reported with this code (EVT_TEXT_CONFIRMED or _FAILED), in
    // order.
    std::vector<uint32_t> TextIds(int32_t code) const;

    // Called outside the engine's lock, from Simulation's steps, with each event not yet handed on;
    // it may call into the engine. The auto-matching users of the scenarios live here.
    std::function<void(SimClient& client, const Event& event)> onEvent;
    // Hands the events recorded since the last call to onEvent.
    void HandOnEvents();

private:
    Endpoint address_;
    Endpoint server_;
    WireOut out_;
    ClientEngine engine_;
    std::vector<Event> events_;
    std::size_t handedOn_ = 0;
};

} // namespace vessaro::test
