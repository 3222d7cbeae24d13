#pragma once

#include <cstdint>

namespace vessaro {

// The states of the client engine: session (0 to 5, 12) and conversation (6 to 11).
enum : int32_t {
    CLIENT_STATE_DISCONNECTED = 0,      // no session
    CLIENT_STATE_CONNECT_SENT = 1,      // waiting for MSG_CONNECT_ACK
    CLIENT_STATE_CONNECTED = 2,         // session open, no match under way
    CLIENT_STATE_MATCH_SENT = 3,        // waiting for MSG_MATCH_REQUEST_ACK
    CLIENT_STATE_MATCHING = 4,          // the server is looking for a partner
    CLIENT_STATE_MATCH_CANCEL_SENT = 5, // waiting for MSG_MATCH_CANCEL_ACK
    CLIENT_STATE_PARTNER_FOUND = 6,     // a partner is offered; the user has to answer
    CLIENT_STATE_ACCEPT_SENT = 7,       // waiting for MSG_ACCEPT_ACK
    CLIENT_STATE_ACCEPTED = 8,          // waiting for the partner to accept too
    CLIENT_STATE_REFUSE_SENT = 9,       // waiting for MSG_REFUSE_ACK
    CLIENT_STATE_TALKING = 10,          // conversation open
    CLIENT_STATE_HANGUP_SENT = 11,      // waiting for MSG_HANGUP_ACK
    CLIENT_STATE_DISCONNECT_SENT = 12,  // waiting for MSG_DISCONNECT_ACK
};

// The one timer that is armed while the engine is in a state. Waiting for an answer retries every
// second, keep-alive states count 5 s ticks of silence, an offer stays open for 35 s.
struct StateTimer {
    uint32_t dueMs = 0; // 0: no timer in this state
    uint32_t tag = 0;
};

inline constexpr uint32_t kRetryMs = 1000;
inline constexpr uint32_t kKeepAliveMs = 5000;
inline constexpr uint32_t kOfferMs = 35000;

inline constexpr int32_t kRetryCopies = 3;        // copies of a request before giving up
inline constexpr int32_t kSilentTicksAllowed = 5; // keep-alive ticks before the peer is lost
// From this many silent keep-alive ticks on, each tick sends one datagram of the session: a server
// that still knows it takes it as an answer to nothing, a restarted one answers
// MSG_SESSION_CLOSED, so the loss shows within seconds instead of after every tick. A conversation
// hears a probe every tick, and once one is missed asks every second; the idle and matching
// states hear a notice every other tick.
inline constexpr int32_t kQueryAfterSilentTicksTalking = 2;
inline constexpr int32_t kQueryAfterSilentTicks = 3;

constexpr StateTimer TimerOfState(int32_t state) {
    switch (state) {
    case CLIENT_STATE_CONNECT_SENT:
        return {kRetryMs, 1};
    case CLIENT_STATE_CONNECTED:
    case CLIENT_STATE_MATCHING:
        return {kKeepAliveMs, 2};
    case CLIENT_STATE_MATCH_SENT:
        return {kRetryMs, 3};
    case CLIENT_STATE_MATCH_CANCEL_SENT:
        return {kRetryMs, 4};
    case CLIENT_STATE_ACCEPT_SENT:
        return {kRetryMs, 5};
    case CLIENT_STATE_PARTNER_FOUND:
    case CLIENT_STATE_ACCEPTED:
        return {kOfferMs, 6};
    case CLIENT_STATE_REFUSE_SENT:
        return {kRetryMs, 8};
    case CLIENT_STATE_TALKING:
        return {kKeepAliveMs, 9};
    case CLIENT_STATE_HANGUP_SENT:
        return {kRetryMs, 10};
    case CLIENT_STATE_DISCONNECT_SENT:
        return {kRetryMs, 11};
    default:
        return {};
    }
}

} // namespace vessaro
