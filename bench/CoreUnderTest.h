#pragma once

#include "MatchServer.h"
#include "ProfileMaker.h"

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

namespace vessaro::bench {

// The server core on a fixed clock (no timer ever falls due), with every limit out of the way,
// and the sessions it granted, for timing requests without the kernel. Its timers are started as
// the server's loop starts them, so that timers set by requests go where they go in a running
// server.
class CoreUnderTest {
public:
    static constexpr int64_t kNow = 1000;

    CoreUnderTest();

    MatchServer& core() { return core_; }
    // MSG_PARTNER_FOUND sent so far (two per pairing).
    uint64_t offers() const { return offers_; }

    // A new session from its own address; its id.
    int32_t Connect();
    // The session's first datagram back (here a notice's acknowledgement) proves its address and
    // opens it, as a real client's does long before the user has filled in a request.
    void Prove(int32_t session);
    void Request(int32_t session, const MatchRecords& r);

    // The request as it arrives, built beforehand, so that timing it times only the core.
    struct Arriving {
        Endpoint from;
        std::vector<uint8_t> datagram;
    };
    Arriving Prepare(int32_t session, const MatchRecords& r);
    void Deliver(const Arriving& a) { core_.OnDatagram(a.from, a.datagram, kNow); }

private:
    void OnSent(std::span<const uint8_t> d);

    std::mt19937 random_{7};
    MatchServer core_;
    std::unordered_map<int32_t, Endpoint> endpoints_;
    int32_t lastGranted_ = 0;
    uint64_t offers_ = 0;
    std::size_t nextClient_ = 1;
};

} // namespace vessaro::bench
