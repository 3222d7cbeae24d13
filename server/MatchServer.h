#pragma once

#include "AddressLimiter.h"
#include "Conversation.h"
#include "Endpoint.h"
#include "FlatMap.h"
#include "MatchPool.h"
#include "Messages.h"
#include "ProofCookie.h"
#include "ServerConfig.h"
#include "ServerStats.h"
#include "SessionTable.h"
#include "TimerWheel.h"
#include "UnprovenTable.h"
#include "cluster/ClusterPort.h"
#include "cluster/NodeMessage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace vessaro {

// Where the core's datagrams go: plain bytes (the wire transform is the caller's) to a client.
using DatagramSink = std::function<void(const Endpoint& to, std::span<const uint8_t> datagram)>;
// Unpredictable 32-bit values for session and conversation ids.
using RandomSource = std::function<uint32_t()>;

// The matching server's protocol logic, without any I/O: it grants sessions, opens them once the
// client's address has proven itself (a datagram carrying the granted id came back from there),
// keeps them alive with notices, pairs waiting users, carries offers through to open conversations,
// relays texts and probes conversations. Datagrams and the time come in as arguments; datagrams go
// out through the sink. Time is in milliseconds from any fixed origin and never goes backwards. Not
// thread-safe: one caller at a time.
class MatchServer {
public:
    MatchServer(ServerConfig config, DatagramSink sink, RandomSource random);

    // One datagram from a client, with the wire transform already undone.
    void OnDatagram(const Endpoint& from, std::span<const uint8_t> datagram, int64_t nowMs);
    // Does everything that is due by nowMs: repeats, notices, probes, time-outs, matching across
    // topics, housekeeping.
    void OnTimer(int64_t nowMs);
    // When OnTimer next has something to do; nothing before the first call of OnTimer.
    std::optional<int64_t> NextDueMs() const;
    // Tells every client that the server leaves (each partner of an offer or conversation gets
    // MSG_PEER_HANGUP, then every session MSG_SESSION_CLOSED) and forgets them all.
    void Shutdown();

    // Applies new settings without dropping a session: limits, rates, intervals, copies, the
    // notice address and the address-proof settings take effect at once (timers already set keep
    // their time). Returns the names of the fields that differ but only take effect after a
    // restart (the size of the unproven table, which is allocated once); empty when none. A new
    // unprovenLifetimeMs changes the time slots of the granted ids: clients granted one in the
    // last few seconds may have to connect again.
    std::vector<std::string> Reload(const ServerConfig& config);

    ServerStats Stats() const;

    // The count of datagrams the server's own sockets have dropped since they opened (a full
    // receive buffer), read by the loop. While it grows, a client's silence may be the server's
    // own loss: a client then counts as silent only a time-out after the last drop, and at the
    // latest after twice the time-out.
    void OnReceiveDrops(uint64_t total, int64_t nowMs);

    // Joins a cluster of nodes that share one pool: from now on waiting users are advertised
    // through the port, and users waiting on other nodes can be offered. Null: a single node
    // (the default). Call before the first datagram. The port's node number must stay the same
    // for the server's life (session ids carry it); false when it is not 1..kMaxNodes, and then
    // nothing is attached.
    bool AttachCluster(cluster::ClusterPort* port);
    // What the cluster reports: users waiting elsewhere, messages from other nodes, nodes gone.
    void OnClusterEvent(const cluster::ClusterEvent& event, int64_t nowMs);

private:
    enum class TimerKind { Notice, Reap, Repeat, Relax, OfferEnd, Probe, ClaimEnd };
    struct Timer {
        TimerKind kind;
        int32_t id;      // a session, or for OfferEnd and Probe a conversation
        uint64_t serial; // which notice, notification, wait or conversation it belongs to
    };

    // Sessions (MatchServer.cpp).
    void Dispatch(Session& session, const DatagramView& message, int64_t nowMs);
    void HandleConnect(const Endpoint& from, int64_t nowMs);
    void HandleUnknownSession(const Endpoint& from, const DatagramView& message, int64_t nowMs);

    // Address proof (MatchServerProof.cpp).
    void GrantUnproven(const Endpoint& from, int64_t nowMs);
    Session* OpenIfProven(const Endpoint& from, int32_t id, int64_t nowMs);
    void RefuseCollidingGrant(const Endpoint& from, const DatagramView& message, int64_t nowMs);
    bool SendUnproven(const Endpoint& to, UnprovenTable::Entry* entry,
                      std::span<const uint8_t> datagram, int64_t nowMs);
    void SendUnprovenCopies(int64_t nowMs);
    std::vector<int64_t> NoticeCopyOffsets() const;
    void ApplyProofLimits();
    void CloseSession(Session& session, int64_t nowMs);
    void LeaveEverything(Session& session, int64_t nowMs);
    void SendNotice(Session& session, int64_t nowMs);
    void ScheduleNotice(Session& session, int64_t nowMs);
    void Notify(Session& session, int32_t type, int32_t conversationId,
                std::span<const uint8_t> datagram, int copies, int64_t nowMs);
    void ClearPending(Session& session, int32_t type, int32_t conversationId);
    void RunTimer(const Timer& timer, int64_t nowMs);
    void OnNoticeDue(const Timer& timer, int64_t nowMs);
    void OnReapDue(const Timer& timer, int64_t nowMs);
    // When a client last heard at lastHeardMs counts as silent for timeoutMs, seen at nowMs.
    int64_t SilenceDeadline(int64_t lastHeardMs, int64_t timeoutMs, int64_t nowMs) const;
    void OnRepeatDue(const Timer& timer, int64_t nowMs);
    void Housekeeping(int64_t nowMs);
    void Send(const Endpoint& to, std::span<const uint8_t> datagram);

    // Matching, offers and conversations (MatchServerTalk.cpp).
    void HandleMatchRequest(Session& session, const DatagramView& message, int64_t nowMs);
    void HandleMatchCancel(Session& session, int64_t nowMs);
    void Enqueue(Session& session, int64_t nowMs);
    void OnRelaxDue(const Timer& timer, int64_t nowMs);
    void StartOffer(Session& waited, Session& seeker, int64_t nowMs);
    void HandleTalk(Session& session, const DatagramView& message, int64_t nowMs);
    void HandleAfterEnd(Session& session, const DatagramView& message);
    void OpenConversation(Conversation& conversation, int64_t nowMs);
    void EndConversation(int32_t conversationId, int32_t leaver, int64_t nowMs);
    void Relay(Session& session, const Conversation& conversation, const DatagramView& message,
               int64_t nowMs);
    void OnOfferEndDue(const Timer& timer, int64_t nowMs);
    void OnProbeDue(const Timer& timer, int64_t nowMs);
    Conversation* FindConversation(int32_t id);
    bool HasSeenOffer(const Conversation& conversation, int32_t sessionId) const;

    // The cluster (MatchServerCluster.cpp).
    struct RemoteWaiter {
        uint16_t node;
        uint64_t arrival;
    };
    void Unlist(int32_t sessionId);
    // A random id, with this node's number in a cluster; it may be taken already.
    int32_t DrawConversationId();
    // drawn when it is free, else another free id (never 0).
    int32_t NewConversationId(int32_t drawn);
    void SeekInCluster(Session& session, bool keepArrival, int64_t nowMs);
    void WaitInCluster(Session& session, bool relaxed);
    void OnRelaxDueInCluster(const Timer& timer, int64_t nowMs);
    void Claim(Session& seeker, int32_t waiterId, int64_t nowMs);
    void OnClaimDue(const Timer& timer, int64_t nowMs);
    void ClaimFailed(Session& seeker, int64_t nowMs, bool lapsed = false);
    void Advertise(const Session& session, bool relaxed);
    void Readvertise();
    bool OnWaiterAdvertised(uint16_t from, const cluster::WaiterAd& ad, int64_t nowMs);
    void ListRemoteWaiter(const cluster::WaiterAd& ad, const MatchCandidate& candidate,
                          int64_t nowMs);
    void ForgetRemoteWaiter(int32_t id);
    bool OnNodeMessage(uint16_t from, std::span<const uint8_t> bytes, int64_t nowMs);
    bool OnClaim(uint16_t from, const cluster::NodeMessage& message, int64_t nowMs);
    bool OnGrant(uint16_t from, const cluster::NodeMessage& message, int64_t nowMs);
    bool OnRefuse(const cluster::NodeMessage& message, int64_t nowMs);
    bool OnPartnerNodeMessage(uint16_t from, const cluster::NodeMessage& message, int64_t nowMs);
    void OnNodeGone(uint16_t node, int64_t nowMs);
    void LeaveCluster();
    // Kind::Accepted or Kind::End, about a conversation with a user of another node.
    void TellPartnerNode(const Conversation& conversation, cluster::NodeMessage::Kind kind);
    void ForwardText(const Session& session, const Conversation& conversation,
                     const DatagramView& message);
    void SendToNode(uint16_t node, const cluster::NodeMessage& message);

    ServerConfig config_;
    DatagramSink sink_;
    RandomSource random_;
    double textBurst_;

    SessionTable sessions_;
    AddressLimiter limiter_;
    ProofCookie cookie_;
    UnprovenTable unproven_;
    AddressLimiter networkBudget_;  // bytes to unproven endpoints, per network
    AddressLimiter unknownReplies_; // MSG_SESSION_CLOSED for unknown sessions, per address
    MatchPool pool_;
    FlatMap<int32_t, Conversation, IdHash> conversations_;
    TimerWheel<Timer> timers_;
    std::optional<int64_t> nextHousekeepingMs_;
    std::optional<int64_t> lastOwnDropMs_; // when the sockets' drop count last grew
    uint64_t nextSerial_ = 1;
    uint64_t nextArrival_ = 1;
    ServerStats stats_;
    cluster::ClusterPort* cluster_ = nullptr;
    uint16_t selfNode_ = 0;
    std::unordered_map<int32_t, RemoteWaiter> remoteWaiters_; // in pool_, held by other nodes
};

} // namespace vessaro
