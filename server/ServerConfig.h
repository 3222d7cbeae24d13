#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vessaro {

// Everything the protocol core can be tuned by. Times are in milliseconds. The defaults keep well
// inside what the clients rely on: a datagram of the session at least every 20 s while they wait
// in the idle and matching states, a probe at least every 20 s in a conversation, and 35 s for
// the users of an offer to decide.
struct ServerConfig {
    std::size_t maxSessions = 20000;
    std::size_t maxSessionsPerAddress = 64;

    // The info page address sent in every notice, as GBK bytes (at most 255).
    std::string noticeUrl = "http://127.0.0.1:8080/match/adv.html";
    int64_t noticeIntervalMs = 10000;
    int64_t probeIntervalMs = 5000;

    // A session that sends nothing for this long is closed.
    int64_t sessionTimeoutMs = 60000;
    // A partner in an open conversation that sends nothing for this long is taken as gone.
    int64_t talkTimeoutMs = 30000;
    // An offer that both users have not accepted after this long ends.
    int64_t offerTimeoutMs = 40000;
    // A user waiting this long may be paired with a user of another topic who has waited as long.
    int64_t anyTopicAfterMs = 10000;

    // Notifications that must be acknowledged are repeated this often, up to a number of copies.
    int64_t retransmitIntervalMs = 1000;
    int partnerFoundCopies = 5;
    int talkStartCopies = 10;
    int peerHangupCopies = 5;

    // Abuse limits (token buckets; the burst is twice the rate).
    double datagramsPerSecondPerAddress = 1000.0;
    double textsPerSecondPerSession = 20.0;
    std::size_t maxTrackedAddresses = 65536;

    // Address proof. A connect is answered with a session id that only the address it came from
    // can know; the session exists once a datagram carrying that id comes back from there. Until
    // then the endpoint is unproven: it gets its acknowledgements and at most
    // unprovenNoticeCopies notices, and is forgotten after unprovenLifetimeMs.
    int64_t unprovenLifetimeMs = 15000;
    int unprovenNoticeCopies = 3;
    // At most this many unproven endpoints are remembered for their repeat notices (the grant
    // itself needs no memory).
    std::size_t maxUnproven = 16384;
    // Bytes per second that all replies to unproven endpoints of one network (an IPv4 /24, an
    // IPv6 /64) may take together, whatever arrives from there: what a forged source can make the
    // server send to a victim. The burst is twice the rate.
    double unprovenBytesPerSecondPerNetwork = 1024.0;
    std::size_t maxTrackedNetworks = 65536;
    // A datagram of an unknown session is answered with MSG_SESSION_CLOSED at most this often per
    // address, so that a client of a restarted server learns at once that its session is gone.
    int64_t unknownSessionReplyIntervalMs = 1000;

    // Closed sessions are remembered this long (and at most this many) so that repeated
    // disconnects are still answered.
    int64_t closedMemoryMs = 30000;
    std::size_t maxClosedRemembered = 65536;
};

} // namespace vessaro
