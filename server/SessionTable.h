#pragma once

#include "Endpoint.h"
#include "FlatMap.h"
#include "Session.h"
#include "Slab.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>

namespace vessaro {

// The open sessions, found by id and by endpoint, with the number of sessions of each address,
// and the sessions closed lately (so that a repeated disconnect can still be answered).
//
// Sessions live in a slab (no allocation of their own, and a session never moves while it is
// open); the id and endpoint indexes are open-addressed tables of slab places. The records of a
// match request are kept in a slab of their own, only for sessions that have made one.
class SessionTable {
public:
    enum class Refusal { None, Full, AddressLimit };

    // hashSeed: a secret, so that clients cannot pick endpoints that crowd the indexes.
    SessionTable(std::size_t maxSessions, std::size_t maxPerAddress, int64_t closedMemoryMs,
                 std::size_t maxClosedRemembered, uint64_t hashSeed);

    // New limits; sessions already open stay, even above a lowered limit.
    void SetLimits(std::size_t maxSessions, std::size_t maxPerAddress, int64_t closedMemoryMs,
                   std::size_t maxClosedRemembered);

    // Whether a new session for this endpoint is within the limits.
    Refusal CheckLimits(const Endpoint& endpoint) const;
    // Opens a session with an id that IsTaken says is free (never 0).
    Session& Open(int32_t id, const Endpoint& endpoint, int64_t nowMs);
    // Removes a session and remembers its id and endpoint for a while.
    void Close(int32_t id, int64_t nowMs);

    Session* Find(int32_t id);
    // Asks for what Find(id) and the records of a found session will read, ahead of reading it.
    void PrefetchId(int32_t id) const { byId_.Prefetch(id); }
    void PrefetchRecords(const Session& session) const {
        if (session.records != 0)
            PrefetchObject(&records_[session.records - 1]);
    }
    Session* FindByEndpoint(const Endpoint& endpoint);
    // True when the id is open or was closed lately.
    bool IsTaken(int32_t id) const;
    // True when the id was closed lately and belonged to this endpoint.
    bool WasClosedFrom(int32_t id, const Endpoint& endpoint) const;
    // Forgets closed sessions older than the memory time.
    void ForgetClosed(int64_t nowMs);

    // The session's match records, made empty on first use.
    SessionRecords& RecordsOf(Session& session);
    // The session's match records; empty ones when it has never asked for a partner.
    const SessionRecords& RecordsOf(const Session& session) const;

    std::size_t size() const { return byId_.size(); }
    std::size_t closedRemembered() const { return closed_.size(); }
    // Calls fn(session) for every open session; fn must not open or close any.
    template <typename Fn>
    void ForEach(Fn&& fn) {
        byId_.ForEach([&](int32_t, uint32_t place) { fn(slab_[place]); });
    }
    void Clear();

private:
    struct Closed {
        Endpoint endpoint;
        int64_t closedMs;
    };
    struct EndpointMixHash {
        uint64_t seed = 0;
        uint64_t operator()(const Endpoint& e) const {
            const AddressKey k = HostKey(e);
            return MixBits(MixBits(k.low ^ seed) ^ k.high ^ e.port);
        }
    };
    struct AddressMixHash {
        uint64_t seed = 0;
        uint64_t operator()(const AddressKey& k) const {
            return MixBits(MixBits(k.low ^ seed) ^ k.high);
        }
    };

    std::size_t maxSessions_;
    std::size_t maxPerAddress_;
    int64_t closedMemoryMs_;
    std::size_t maxClosed_;
    Slab<Session> slab_;
    Slab<SessionRecords, 1024> records_;
    FlatMap<int32_t, uint32_t, IdHash> byId_;                  // id -> slab place
    FlatMap<Endpoint, uint32_t, EndpointMixHash> byEndpoint_;  // endpoint -> slab place
    FlatMap<AddressKey, uint32_t, AddressMixHash> perAddress_; // address -> sessions open
    std::unordered_map<int32_t, Closed> closed_;
    std::deque<int32_t> closedOrder_; // the ids of closed_, oldest first
};

} // namespace vessaro
