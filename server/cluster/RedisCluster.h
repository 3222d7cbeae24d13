#pragma once

#include "ClusterPort.h"
#include "ClusterStatus.h"
#include "Membership.h"
#include "NodeSeal.h"
#include "RedisLink.h"
#include "RedisUrl.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vessaro::cluster {

struct RedisClusterSettings {
    RedisUrl url;
    std::vector<uint8_t> secret; // at least NodeSeal::kMinSecret bytes
    std::string nodeAddress;     // host:port the other nodes reach this one at
    int refreshMs = 1000;        // how often the liveness record is renewed and the nodes scanned
    int expiryMs = 3000;         // a record not renewed for this long is gone, and its node
    int timeoutMs = 2000;        // most time one Redis command may take
    std::size_t maxQueued = 1 << 16; // frames waiting to be sent; more are dropped
    // Reports of the transport thread (lost, found again, refused); may be empty.
    std::function<void(bool warning, const std::string& message)> log;
};

// The cluster over Redis. One thread of its own does all the Redis I/O on two links: one for
// commands, one subscribed to the pool channel and this node's inbox. The server loop's calls
// only queue; what arrives is queued for the loop, which is woken to take it (DeliverEvents).
//
// In Redis: vessaro:node:<n> holds node n's sealed liveness record (epoch and address), set with
// NX to claim the number and renewed every refreshMs with an expiry of expiryMs; the hash
// vessaro:waiters:<n> holds its waiting users, sealed, for nodes that join later; the channels
// vessaro:<db>:pool (adverts, withdrawals, leaving) and vessaro:<db>:inbox:<n> (node messages)
// carry sealed frames. A node keeps its number for its whole run: after a loss of Redis it claims
// the same one again, in a new epoch, so the others end what they held with its previous life.
class RedisCluster final : public ClusterPort {
public:
    // Connects, claims the lowest free node number and starts the thread; the first events
    // (Joined, the users waiting on other nodes) are queued at once. Null, with what is wrong in
    // error, when Redis cannot be reached or every number is taken.
    static std::unique_ptr<RedisCluster> Start(RedisClusterSettings settings,
                                               std::function<void()> wake, std::string& error);
    ~RedisCluster() override;
    RedisCluster(const RedisCluster&) = delete;
    RedisCluster& operator=(const RedisCluster&) = delete;

    // On the loop thread: hands every event received so far to deliver, in order.
    void DeliverEvents(const std::function<void(const ClusterEvent&)>& deliver);
    // Leaves the cluster: sends what is queued, tells the other nodes, deletes this node's
    // liveness record and waiting users, and ends the thread. Harmless twice.
    void Stop();
    // Any thread.
    ClusterStatus Status() const;

    uint16_t SelfNode() const override { return self_; }
    uint64_t NextArrival() override;
    void Advertise(const WaiterAd& ad) override;
    void Withdraw(int32_t sessionId) override;
    void SendToNode(uint16_t node, std::span<const uint8_t> message) override;

private:
    struct Outgoing {
        FrameKind kind;
        uint16_t destination = 0;
        int32_t sessionId = 0;
        uint64_t generation = 0; // the link's life the loop knew when it queued this
        std::vector<uint8_t> body;
    };

    RedisCluster(RedisClusterSettings settings, std::function<void()> wake);
    bool Establish(std::string& error);
    bool ClaimNumber(std::string& error);
    bool HoldsOwnRecord(uint16_t node);
    std::vector<uint8_t> LivenessFrame() const;
    void Run();
    bool Turn();
    bool SendQueued();
    bool ReadFrames();
    bool Refresh();
    bool ApplyChange(const MembershipChange& change);
    bool FetchWaiters(uint16_t node);
    bool TakeFrame(const redisReply* payload);
    void GoLost(const std::string& why);
    void Leave();
    void Queue(Outgoing item);
    void Push(ClusterEvent event);
    void Push(ClusterEvent::Kind kind);
    void Log(bool warning, const std::string& message) const;
    std::string NodeKey(uint16_t node) const;
    std::string WaitersKey(uint16_t node) const;
    std::string InboxChannel(uint16_t node) const;

    const RedisClusterSettings settings_;
    const std::function<void()> wake_;
    const NodeSeal seal_;
    uint16_t self_ = 0;
    std::string poolChannel_;

    // The transport thread's own.
    std::unique_ptr<RedisLink> commands_;
    std::unique_ptr<RedisLink> subscriber_;
    Membership membership_{0};
    uint64_t epoch_ = 0;
    uint64_t joinedEpoch_ = 0; // the epoch of the last successful join
    uint64_t sequence_ = 0;
    int64_t nextRefreshMs_ = 0;
    int backoffMs_ = 0;
    int64_t nextAttemptMs_ = 0;

    // The loop thread's own.
    uint64_t lastArrival_ = 0;
    uint64_t loopGeneration_ = 0;

    // Shared.
    int wakeFd_ = -1; // the loop tells the thread that frames are queued or a stop is asked
    std::atomic<bool> stopAsked_ = false;
    std::atomic<uint64_t> generation_ = 0; // lives of the link: Joined events queued
    mutable std::mutex mutex_;
    std::vector<Outgoing> outgoing_;
    std::vector<ClusterEvent> incoming_;
    ClusterStatus status_;
    std::thread thread_;
};

} // namespace vessaro::cluster
