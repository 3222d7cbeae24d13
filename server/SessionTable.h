#pragma once

#include "Endpoint.h"
#include "Session.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>

namespace vessaro {

// The open sessions, found by id and by endpoint, with the number of sessions of each address,
// and the sessions closed lately (so that a repeated disconnect can still be answered).
class SessionTable {
public:
    enum class Refusal { None, Full, AddressLimit };

    SessionTable(std::size_t maxSessions, std::size_t maxPerAddress, int64_t closedMemoryMs,
                 std::size_t maxClosedRemembered);

    // New limits; sessions already open stay, even above a lowered limit.
    void SetLimits(std::size_t maxSessions, std::size_t maxPerAddress, int64_t closedMemoryMs,
                   std::size_t maxClosedRemembered);

    // Whether a new session for this endpoint is within the limits.
    Refusal CheckLimits(const Endpoint& endpoint) const;
    // Opens a session with an id that IsTaken says is free.
    Session& Open(int32_t id, const Endpoint& endpoint, int64_t nowMs);
    // Removes a session and remembers its id and endpoint for a while.
    void Close(int32_t id, int64_t nowMs);

    Session* Find(int32_t id);
    Session* FindByEndpoint(const Endpoint& endpoint);
    // True when the id is open or was closed lately.
    bool IsTaken(int32_t id) const;
    // True when the id was closed lately and belonged to this endpoint.
    bool WasClosedFrom(int32_t id, const Endpoint& endpoint) const;
    // Forgets closed sessions older than the memory time.
    void ForgetClosed(int64_t nowMs);

    std::size_t size() const { return sessions_.size(); }
    std::size_t closedRemembered() const { return closed_.size(); }
    const std::unordered_map<int32_t, std::unique_ptr<Session>>& all() const { return sessions_; }
    void Clear();

private:
    struct Closed {
        Endpoint endpoint;
        int64_t closedMs;
    };

    std::size_t maxSessions_;
    std::size_t maxPerAddress_;
    int64_t closedMemoryMs_;
    std::size_t maxClosed_;
    std::unordered_map<int32_t, std::unique_ptr<Session>> sessions_;
    std::unordered_map<Endpoint, int32_t, EndpointHash> byEndpoint_;
    std::unordered_map<AddressKey, std::size_t, AddressKeyHash> perAddress_;
    std::unordered_map<int32_t, Closed> closed_;
    std::deque<int32_t> closedOrder_; // the ids of closed_, oldest first
};

} // namespace vessaro
