#pragma once

#include "ClusterPort.h"
#include "NodeSeal.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vessaro::cluster {

// A node's liveness record as a scan of Redis found it (authentic, and under the node's own key).
struct LivenessRecord {
    uint64_t epoch = 0;
    std::string address;
};

// What a step of membership changed, in the order to report it: the nodes (or earlier lives of
// nodes) that are gone, then the nodes newly seen, whose waiting users must be fetched.
struct MembershipChange {
    std::vector<uint16_t> down;
    std::vector<uint16_t> joined;
};

// Which nodes are live and which of their frames to take, decided from the liveness records in
// Redis and from the frames themselves. A node's life is its epoch: frames of an older epoch than
// the newest seen, of an epoch declared gone, or with a sequence number not above the last one
// taken are refused, so a frame recorded and sent again is never taken twice. Epochs stay known
// for the life of the process, also across losses of Redis. No I/O: the transport feeds it.
class Membership {
public:
    explicit Membership(uint16_t self) : self_(self) {}

    enum class Verdict {
        Take,   // authentic, new and meant for this node
        Own,    // this node's own frame coming back (the pool reaches every node)
        Refuse, // replayed, out of date, from a gone life, or meant for another node
    };
    // A sequenced frame (advert, withdraw, leave, node message). A frame of a newer epoch makes
    // that node live in its new life (and its earlier life gone).
    Verdict Admit(const FrameHeader& header, MembershipChange& change);
    // A waiting user stored by a node for later joiners: taken only from a live node's current
    // epoch.
    bool AdmitEntry(const FrameHeader& header) const;
    // The node said it leaves (after Admit took its frame).
    MembershipChange OnLeave(uint16_t node);
    // A scan of every node's liveness record (index: node number; empty: none). A live node whose
    // record is gone, or older than its life, is gone.
    MembershipChange
    OnScan(const std::array<std::optional<LivenessRecord>, kMaxNodes + 1>& records);
    // Redis is lost: no other node counts as live until seen again, without reporting them gone
    // (the core drops every remote user itself).
    void Forget();

    bool Live(uint16_t node) const { return Known(node) && nodes_[node].live; }
    std::size_t LiveCount() const; // this node included
    std::string AddressOf(uint16_t node) const { return Known(node) ? nodes_[node].address : ""; }

private:
    struct Node {
        bool live = false;
        uint64_t epoch = 0;     // the newest life seen
        uint64_t sequence = 0;  // the last sequence number taken in that life
        uint64_t goneEpoch = 0; // lives up to this one are over
        std::string address;
    };

    bool Known(uint16_t node) const { return node >= 1 && node <= kMaxNodes && node != self_; }
    void GoDown(uint16_t node, MembershipChange& change);
    void NewLife(uint16_t node, uint64_t epoch, MembershipChange& change);

    uint16_t self_;
    std::array<Node, kMaxNodes + 1> nodes_{};
};

} // namespace vessaro::cluster
