#pragma once

#include "CoreHarness.h"
#include "cluster/ClusterPort.h"

#include <array>
#include <deque>
#include <memory>

namespace vessaro::test {

class ClusterHub;

// One node's side of the hub.
class HubPort : public cluster::ClusterPort {
public:
    HubPort(ClusterHub& hub, uint16_t node) : hub_(hub), node_(node) {}
    uint16_t SelfNode() const override { return node_; }
    uint64_t NextArrival() override;
    void Advertise(const cluster::WaiterAd& ad) override;
    void Withdraw(int32_t sessionId) override;
    void SendToNode(uint16_t node, std::span<const uint8_t> message) override;

private:
    ClusterHub& hub_;
    uint16_t node_;
};

// Several protocol cores joined as nodes 1..N of a cluster, in memory, on one manual clock.
// Advertisements, withdrawals and node messages are queued and delivered in the order they were
// made when Pump runs (the tests call it after each step), unless the hub holds them; a node can
// be killed, and the whole cluster cut off (every node is told Lost) and restored (Joined).
class ClusterHub {
public:
    struct Post {
        uint16_t from;
        uint16_t to;
        cluster::ClusterEvent event;
    };

    explicit ClusterHub(int nodes, ServerConfig config = TestConfig()) {
        for (int i = 1; i <= nodes; ++i) {
            cores_.push_back(std::make_unique<CoreHarness>(config));
            ports_.push_back(std::make_unique<HubPort>(*this, uint16_t(i)));
            EXPECT_TRUE(cores_.back()->server.AttachCluster(ports_.back().get()));
            up_.push_back(true);
        }
    }

    CoreHarness& Node(uint16_t node) { return *cores_.at(node - 1); }

    void Queue(uint16_t from, uint16_t to, cluster::ClusterEvent event) {
        if (cut_ || !up_[from - 1])
            return;
        event.node = from;
        // A post to every node is one post per node, so that each link can run at its own pace.
        for (uint16_t node = 1; node <= cores_.size(); ++node) {
            if (node != from && (to == 0 || to == node))
                posts_.push_back(Post{from, node, event});
        }
    }

    // Delivers what is queued, and what that makes the nodes send, until nothing is left.
    void Pump() {
        while (!holding && !posts_.empty())
            PumpSome(1);
    }

    // Delivers at most the next n posts (to the given node only, or to any: 0), held or not, and
    // nothing they make the nodes send: the rest stays queued, as on links that are slow for a
    // while. Each link keeps its order; one link may run ahead of another.
    void PumpSome(std::size_t n, uint16_t to = 0) {
        for (auto it = posts_.begin(); n > 0 && it != posts_.end();) {
            if (to != 0 && it->to != to) {
                ++it;
                continue;
            }
            Post post = std::move(*it);
            it = posts_.erase(it);
            --n;
            if (up_[post.to - 1])
                Node(post.to).server.OnClusterEvent(post.event, Node(post.to).now);
            it = posts_.begin(); // delivering may have queued more; keep the links' order
        }
    }

    // Moves every node's clock forward together, running the timers in time order.
    void Advance(int64_t ms) {
        const int64_t target = Node(1).now + ms;
        while (true) {
            int64_t next = target;
            for (auto& core : cores_) {
                if (std::optional<int64_t> due = core->server.NextDueMs(); due && *due < next)
                    next = std::max(core->now, *due);
            }
            for (auto& core : cores_) {
                core->now = next;
                core->server.OnTimer(next);
            }
            Pump();
            if (next == target)
                return;
        }
    }

    // The node dies: what it sent and not yet delivered is lost, the others are told.
    void Kill(uint16_t node) {
        up_[node - 1] = false;
        std::erase_if(posts_, [&](const Post& p) { return p.from == node; });
        cluster::ClusterEvent down;
        down.kind = cluster::ClusterEvent::Kind::NodeDown;
        for (uint16_t other = 1; other <= cores_.size(); ++other) {
            if (up_[other - 1]) {
                down.node = node;
                Node(other).server.OnClusterEvent(down, Node(other).now);
            }
        }
        Pump();
    }

    void Cut() {
        cut_ = true;
        posts_.clear();
        TellEveryNode(cluster::ClusterEvent::Kind::Lost);
    }

    void Restore() {
        cut_ = false;
        TellEveryNode(cluster::ClusterEvent::Kind::Joined);
        Pump();
    }

    bool holding = false;
    uint64_t arrival = 1;
    bool equalStamps = false; // each node counts its own stamps from 1: nodes give equal ones
    std::array<uint64_t, cluster::kMaxNodes + 1> stamps{};
    std::deque<Post> posts_;

private:
    void TellEveryNode(cluster::ClusterEvent::Kind kind) {
        cluster::ClusterEvent event;
        event.kind = kind;
        for (uint16_t node = 1; node <= cores_.size(); ++node) {
            if (up_[node - 1])
                Node(node).server.OnClusterEvent(event, Node(node).now);
        }
    }

    std::vector<std::unique_ptr<CoreHarness>> cores_;
    std::vector<std::unique_ptr<HubPort>> ports_;
    std::vector<bool> up_;
    bool cut_ = false;
};

inline uint64_t HubPort::NextArrival() {
    return hub_.equalStamps ? ++hub_.stamps[node_] : hub_.arrival++;
}

inline void HubPort::Advertise(const cluster::WaiterAd& ad) {
    cluster::ClusterEvent event;
    event.kind = cluster::ClusterEvent::Kind::WaiterAdvertised;
    event.ad = ad;
    hub_.Queue(node_, 0, std::move(event));
}

inline void HubPort::Withdraw(int32_t sessionId) {
    cluster::ClusterEvent event;
    event.kind = cluster::ClusterEvent::Kind::WaiterWithdrawn;
    event.sessionId = sessionId;
    hub_.Queue(node_, 0, std::move(event));
}

inline void HubPort::SendToNode(uint16_t node, std::span<const uint8_t> message) {
    cluster::ClusterEvent event;
    event.kind = cluster::ClusterEvent::Kind::NodeMessage;
    event.message.assign(message.begin(), message.end());
    hub_.Queue(node_, node, std::move(event));
}

} // namespace vessaro::test
