#pragma once

#include "LatencyHistogram.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vessaro {

// What the server has done since it started, and how many of each thing it holds now.
struct ServerStats {
    std::size_t sessions = 0;         // proven sessions: their address answered
    std::size_t unprovenSessions = 0; // granted, address not yet proven
    std::size_t waiting = 0;
    // Waiting users of the busiest topics (GBK topic text, count), busiest first; the rest are
    // counted in waitingOtherTopics so that users cannot grow the list without bound.
    std::vector<std::pair<std::string, std::size_t>> waitingByTopic;
    std::size_t waitingOtherTopics = 0;
    std::size_t conversations = 0;

    uint64_t matchesMade = 0;    // offers started
    LatencyHistogram matchDelay; // from a match request to its offer
    uint64_t textsRelayed = 0;   // texts passed on to a partner

    uint64_t datagramsIn = 0;
    uint64_t datagramsOut = 0;

    uint64_t droppedAddressRate = 0; // over the datagram rate of one address
    uint64_t droppedTextRate = 0;    // over the text rate of one session
    uint64_t refusedPerAddress = 0;  // connects over the session limit of one address
    uint64_t refusedFull = 0;        // connects while the server is full
    uint64_t droppedMalformed = 0;   // short, unknown, or not a client's message type
    uint64_t droppedUnknownSession = 0;
    uint64_t droppedWrongSender = 0; // a session's id from an address or port not its own
    // Replies to unproven endpoints not sent: over the endpoint's allowance or its network's budget
    uint64_t droppedUnprovenBudget = 0;
    // Unknown-session datagrams not answered because their address was answered lately
    uint64_t droppedUnknownSessionRate = 0;
    uint64_t sendFailures = 0; // datagrams the socket would not take
    uint64_t socketDrops = 0;  // datagrams the server's own sockets dropped on arrival (full)

    // On a node of a cluster. waiting counts only this node's users; users waiting on other nodes
    // are remoteWaiting (waitingByTopic counts both).
    std::size_t remoteWaiting = 0;
    uint64_t clusterClaimsSent = 0;      // this node asked another for one of its waiters
    uint64_t clusterClaimsWon = 0;       // ... and was granted it
    uint64_t clusterClaimsLost = 0;      // ... and was refused, or had no answer in time
    uint64_t clusterClaimsGranted = 0;   // another node was granted one of this node's waiters
    uint64_t clusterClaimsRefused = 0;   // ... or refused, since the waiter no longer waited
    uint64_t clusterMessagesSent = 0;    // node messages sent
    uint64_t clusterMessagesIn = 0;      // node messages and waiter advertisements received
    uint64_t clusterMessagesRefused = 0; // of those: malformed, or not the sender's to send
};

// The periodic stats line, without a line break.
std::string FormatStatsLine(const ServerStats& stats);

} // namespace vessaro
