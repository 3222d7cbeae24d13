#pragma once

#include "Endpoint.h"
#include "Records.h"
#include "TokenBucket.h"

#include <cstdint>
#include <vector>

namespace vessaro {

enum class SessionState {
    Idle,           // connected, no match under way
    Waiting,        // in the pool, waiting for a partner
    InConversation, // offered a partner, or talking
    Claiming,       // found a partner waiting on another node, and asked that node for it
};

// A notification that the client must acknowledge (a partner offer, the start of a conversation,
// the partner's hang-up), repeated until it is acknowledged or its copies run out.
struct PendingNotification {
    int32_t type = 0; // 0: nothing pending
    int32_t conversationId = 0;
    int copiesLeft = 0;
    uint64_t serial = 0; // the retransmission timer that applies to it
    std::vector<uint8_t> datagram;
};

// One client's session, from its granted connect to its disconnect, time-out or the server's
// shutdown.
struct Session {
    int32_t id = 0;
    Endpoint endpoint;
    int64_t lastHeardMs = 0;

    SessionState state = SessionState::Idle;
    int32_t conversationId = 0;     // while InConversation
    int32_t lastConversationId = 0; // the conversation it was last part of, once that ended
    uint64_t noticeSerial = 0;      // the notice timer that applies
    uint64_t arrival = 0;           // while Waiting: when it joined the pool
    int64_t requestMs = 0;          // when its last match request that queued it arrived
    int32_t claimed = 0;            // while Claiming: the waiter asked for; after a claim that
                                    // lapsed unanswered, kept while it waits for the same request
    uint64_t claimSerial = 0;       // while Claiming: the claim's time-out that applies

    PendingNotification pending;
    TokenBucket texts;
    uint32_t records = 0; // where its SessionRecords are kept, plus one; 0: it never asked
};

// The records of a session's last match request, sent to the partner it is offered. Kept apart
// from the session, and only for sessions that have asked for a partner, since they are most of
// what a session would weigh.
struct SessionRecords {
    UserProfile profile = EmptyProfile();
    MatchRequirement requirement = EmptyRequirement();
};

} // namespace vessaro
