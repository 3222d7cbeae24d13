#pragma once

#include "Records.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vessaro::cluster {

// The records a waiting user asked with (profile, then wanted partner), in their wire layout.
using WaiterRecords = std::array<uint8_t, kUserProfileSize + kMatchRequirementSize>;

// A user waiting on some node, as every node of the cluster sees it.
struct WaiterAd {
    int32_t sessionId = 0; // unique across the cluster
    uint16_t node = 0;     // the node that holds the session
    uint64_t arrival = 0;  // cluster-wide order: smaller has waited longer
    bool relaxed = false;  // may be paired across topics
    WaiterRecords records{};
};

// What the protocol core asks of the cluster. Called on the server loop's thread; never blocks
// (what cannot be done at once is queued). Without a cluster the core has no port at all.
class ClusterPort {
public:
    virtual ~ClusterPort() = default;

    // This node's number, unique among the live nodes (1..kMaxNodes). It must not change while
    // the core runs: the session and conversation ids the core makes carry it.
    virtual uint16_t SelfNode() const = 0;
    // A stamp for a user who starts waiting now: strictly increasing on this node, and ordered by
    // time across nodes (clocks as far apart as the nodes' clocks are).
    virtual uint64_t NextArrival() = 0;
    // Shares a waiting user with the other nodes; again, with relaxed set, once it may take any
    // topic.
    virtual void Advertise(const WaiterAd& ad) = 0;
    // The user no longer waits.
    virtual void Withdraw(int32_t sessionId) = 0;
    // One message to another node: delivered in order, at most once, and only from a node that
    // knows the cluster's secret. Lost when either node dies or the link to Redis is down.
    virtual void SendToNode(uint16_t node, std::span<const uint8_t> message) = 0;
};

inline constexpr uint16_t kMaxNodes = 63;

// What the cluster tells the core (MatchServer::OnClusterEvent), on the server loop's thread.
struct ClusterEvent {
    enum class Kind {
        WaiterAdvertised, // ad: a user waits on another node (or is relaxed now)
        WaiterWithdrawn,  // node, sessionId: it no longer waits
        NodeMessage,      // node, message: what that node sent with SendToNode
        NodeDown,         // node: it left or its liveness expired; its users are gone (also
                          // when its number reappears with a new epoch: a restarted process)
        Joined,           // connected to the cluster (again): advertise every waiting user anew
        Lost,             // the cluster cannot be reached: only local users can be served
    };
    Kind kind = Kind::Joined;
    // The node an advertisement, withdrawal or message came from, as the transport authenticated
    // it; the core refuses what that node has no business saying about other nodes' users.
    uint16_t node = 0;
    int32_t sessionId = 0;
    WaiterAd ad;
    std::vector<uint8_t> message;
};

} // namespace vessaro::cluster
