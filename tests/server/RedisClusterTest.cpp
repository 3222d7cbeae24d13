#include "RedisCluster.h"
#include "NodeSeal.h"
#include "PoolFrames.h"
#include "PrivateRedis.h"
#include "RedisLink.h"

#include <gtest/gtest.h>
#include <hiredis/hiredis.h>

#include <chrono>
#include <condition_variable>
#include <thread>

namespace vessaro::cluster {
namespace {

using namespace std::chrono_literals;
using Kind = ClusterEvent::Kind;

const std::vector<uint8_t> kSecret(24, 0x42);

// One node of the cluster as the server loop sees it: events are taken on the test's thread when
// the transport wakes it.
class Node {
public:
    explicit Node(const PrivateRedis& redis, const RedisCredentials& credentials = {}) {
        RedisClusterSettings s;
        std::string error;
        s.url = *ParseRedisUrl(redis.url(), error);
        s.url.credentials = credentials;
        s.secret = kSecret;
        s.nodeAddress = "127.0.0.1:1";
        s.refreshMs = 100;
        s.expiryMs = 400;
        s.timeoutMs = 1000;
        cluster = RedisCluster::Start(
            std::move(s), [this] { Wake(); }, error);
        EXPECT_TRUE(cluster) << error;
    }

    // Takes events until `count` have come in all, or the time is up.
    bool WaitEvents(std::size_t count, std::chrono::milliseconds timeout = 3s) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            cluster->DeliverEvents([this](const ClusterEvent& e) { events.push_back(e); });
            if (events.size() >= count)
                return true;
            std::unique_lock lock(mutex_);
            if (!woken_.wait_until(lock, deadline, [this] { return wakes_ > 0; }))
                return false;
            wakes_ = 0;
        }
    }

    std::vector<Kind> Kinds(std::size_t from = 0) const {
        std::vector<Kind> kinds;
        for (std::size_t i = from; i < events.size(); ++i)
            kinds.push_back(events[i].kind);
        return kinds;
    }

    std::unique_ptr<RedisCluster> cluster;
    std::vector<ClusterEvent> events;

private:
    void Wake() {
        std::lock_guard lock(mutex_);
        ++wakes_;
        woken_.notify_one();
    }
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakes_ = 0;
};

WaiterAd Ad(int32_t sessionId) {
    WaiterAd ad;
    ad.sessionId = sessionId;
    ad.arrival = uint64_t(sessionId) * 1000;
    ad.records.fill(uint8_t(sessionId));
    return ad;
}

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::unique_ptr<RedisLink> RawLink(const PrivateRedis& redis,
                                   const RedisCredentials& credentials = {}) {
    std::string error;
    RedisUrl url = *ParseRedisUrl(redis.url(), error);
    url.credentials = credentials;
    auto link = RedisLink::Connect(url, 1000, error);
    EXPECT_TRUE(link) << error;
    return link;
}

// A node that joins later finds the users already waiting; then adverts, withdrawals and node
// messages arrive in the order they were sent, and a node that stops is gone at once.
TEST(RedisCluster, NodesShareWaitersAndMessagesInOrderAndLeaveCleanly) {
    PrivateRedis redis;
    ASSERT_TRUE(redis.ready()) << redis.error();
    Node a(redis);
    ASSERT_TRUE(a.WaitEvents(1));
    EXPECT_EQ(a.events[0].kind, Kind::Joined);
    EXPECT_EQ(a.cluster->SelfNode(), 1);
    a.cluster->Advertise(Ad(11));
    auto raw = RawLink(redis);
    for (int i = 0; i < 100 && raw->Command({"HLEN", "vessaro:waiters:1"})->integer == 0; ++i)
        std::this_thread::sleep_for(10ms);

    Node b(redis);
    EXPECT_EQ(b.cluster->SelfNode(), 2);
    ASSERT_TRUE(b.WaitEvents(2));
    EXPECT_EQ(b.Kinds(), (std::vector<Kind>{Kind::Joined, Kind::WaiterAdvertised}));
    EXPECT_EQ(b.events[1].ad.node, 1);
    EXPECT_EQ(b.events[1].ad.records, Ad(11).records);

    a.cluster->Advertise(Ad(12));
    a.cluster->Withdraw(11);
    a.cluster->SendToNode(2, Bytes("m1"));
    a.cluster->SendToNode(2, Bytes("m2"));
    b.cluster->SendToNode(1, Bytes("back"));
    ASSERT_TRUE(b.WaitEvents(6));
    EXPECT_EQ(b.Kinds(2), (std::vector<Kind>{Kind::WaiterAdvertised, Kind::WaiterWithdrawn,
                                             Kind::NodeMessage, Kind::NodeMessage}));
    EXPECT_EQ(b.events[2].ad.sessionId, 12);
    EXPECT_EQ(b.events[3].sessionId, 11);
    EXPECT_EQ(Text(b.events[4].message), "m1");
    EXPECT_EQ(Text(b.events[5].message), "m2");
    ASSERT_TRUE(a.WaitEvents(2));
    EXPECT_EQ(a.events.back().kind, Kind::NodeMessage);
    EXPECT_EQ(Text(a.events.back().message), "back");
    EXPECT_EQ(b.cluster->Status().nodesLive, 2u);

    a.cluster->Stop();
    ASSERT_TRUE(b.WaitEvents(7, 1s)) << "told at once, not after the expiry";
    EXPECT_EQ(b.events[6].kind, Kind::NodeDown);
    EXPECT_EQ(b.events[6].node, 1);
    EXPECT_EQ(raw->Command({"EXISTS", "vessaro:node:1", "vessaro:waiters:1"})->integer, 0);
    EXPECT_EQ(b.cluster->Status().framesRefused, 0u);
}

// Frames written into Redis by someone: only an authentic frame, new and meant for this node, is
// taken; a node whose liveness record is not renewed is gone after the expiry, with its life.
TEST(RedisCluster, ForgedReplayedMisdirectedAndLateFramesAreRefused) {
    PrivateRedis redis;
    ASSERT_TRUE(redis.ready()) << redis.error();
    Node a(redis);
    ASSERT_TRUE(a.WaitEvents(1));
    auto raw = RawLink(redis);
    NodeSeal seal(kSecret);
    const uint64_t epoch = 777;
    raw->Command({"SET", "vessaro:node:5",
                  Text(seal.Seal({FrameKind::Liveness, 5, 0, epoch, 0}, Bytes("fake:1"))), "PX",
                  "400"});
    auto send = [&](const std::vector<uint8_t>& frame) {
        raw->Command({"PUBLISH", "vessaro:0:inbox:1", Text(frame)});
    };
    const auto one = seal.Seal({FrameKind::NodeMessage, 5, 1, epoch, 1}, Bytes("one"));
    send(one);
    send(one);
    std::vector<uint8_t> otherSecret = kSecret;
    otherSecret[3] ^= 0x10;
    send(NodeSeal(otherSecret).Seal({FrameKind::NodeMessage, 5, 1, epoch, 2}, Bytes("forged")));
    send(seal.Seal({FrameKind::NodeMessage, 5, 9, epoch, 3}, Bytes("for node 9")));
    send(seal.Seal({FrameKind::NodeMessage, 5, 1, epoch, 4}, Bytes("two")));
    ASSERT_TRUE(a.WaitEvents(4));
    EXPECT_EQ(a.Kinds(1),
              (std::vector<Kind>{Kind::NodeMessage, Kind::NodeMessage, Kind::NodeDown}));
    EXPECT_EQ(Text(a.events[1].message), "one");
    EXPECT_EQ(Text(a.events[2].message), "two");
    EXPECT_EQ(a.events[3].node, 5);

    send(seal.Seal({FrameKind::NodeMessage, 5, 1, epoch, 5}, Bytes("late")));
    for (int i = 0; i < 100 && a.cluster->Status().framesRefused < 4; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(a.cluster->Status().framesRefused, 4u);
    EXPECT_FALSE(a.WaitEvents(5, 200ms));
}

// A node whose record is replaced (it stalled past the expiry and another took its number) stops
// counting itself as joined, never overwrites the other's record, and joins again once the number
// is free.
TEST(RedisCluster, ANodeNeverTakesBackANumberAnotherHolds) {
    PrivateRedis redis;
    ASSERT_TRUE(redis.ready()) << redis.error();
    Node a(redis);
    ASSERT_TRUE(a.WaitEvents(1));
    auto raw = RawLink(redis);
    const std::string other =
        Text(NodeSeal(kSecret).Seal({FrameKind::Liveness, 1, 0, 1, 0}, Bytes("other:1")));
    raw->Command({"SET", "vessaro:node:1", other});
    ASSERT_TRUE(a.WaitEvents(2));
    EXPECT_EQ(a.events[1].kind, Kind::Lost);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(StringOf(raw->Command({"GET", "vessaro:node:1"}).get()), other);
    EXPECT_EQ(a.events.size(), 2u);
    raw->Command({"DEL", "vessaro:node:1"});
    ASSERT_TRUE(a.WaitEvents(3, 5s));
    EXPECT_EQ(a.events[2].kind, Kind::Joined);
    EXPECT_EQ(a.cluster->SelfNode(), 1);
}

// Redis goes away and returns: each node is told it lost the cluster, keeps its number, and
// joins again, seeing the other and what it advertises after.
TEST(RedisCluster, NodesRejoinAfterRedisRestartsAndStartFailsWithoutRedis) {
    PrivateRedis redis;
    ASSERT_TRUE(redis.ready()) << redis.error();
    Node a(redis), b(redis);
    ASSERT_TRUE(a.WaitEvents(1));
    ASSERT_TRUE(b.WaitEvents(1));
    redis.Stop();
    ASSERT_TRUE(a.WaitEvents(2));
    EXPECT_EQ(a.events[1].kind, Kind::Lost);
    EXPECT_FALSE(a.cluster->Status().joined);
    ASSERT_TRUE(redis.Start());
    ASSERT_TRUE(a.WaitEvents(3, 5s));
    ASSERT_TRUE(b.WaitEvents(3, 5s));
    EXPECT_EQ(a.Kinds(), (std::vector<Kind>{Kind::Joined, Kind::Lost, Kind::Joined}));
    EXPECT_EQ(a.cluster->SelfNode(), 1);
    EXPECT_EQ(b.cluster->SelfNode(), 2);
    a.cluster->Advertise(Ad(21));
    ASSERT_TRUE(b.WaitEvents(4));
    EXPECT_EQ(b.events.back().kind, Kind::WaiterAdvertised);
    EXPECT_EQ(b.events.back().ad.sessionId, 21);
    EXPECT_EQ(a.cluster->Status().rejoins, 1u);

    redis.Stop();
    RedisClusterSettings s;
    std::string error;
    s.url = *ParseRedisUrl(redis.url(), error);
    s.secret = kSecret;
    EXPECT_FALSE(RedisCluster::Start(
        s, [] {}, error));
    EXPECT_NE(error.find("cannot reach Redis"), std::string::npos) << error;
}

// The least a node needs of Redis, as an access-list user: these commands on vessaro:* keys and
// channels (the scripts' GET, PEXPIRE and DEL included).
const std::vector<std::string> kNodeUser = {
    "--user",   "node",    "on",    ">node-pw", "resetchannels", "~vessaro:*", "&vessaro:*",
    "-@all",    "+select", "+get",  "+set",     "+mget",         "+del",       "+eval",
    "+pexpire", "+hset",   "+hdel", "+hgetall", "+publish",      "+subscribe"};

// Against a Redis that asks for a password: wrong credentials are refused at start, saying what
// to fix and never what was given; nodes of a user with only the commands above do all a node
// does; a password Redis stops taking under a joined node is tried again until Redis takes it.
TEST(RedisCluster, NodesAuthenticateOnEveryConnect) {
    PrivateRedis redis({"redis-server", "default-pw", kNodeUser});
    ASSERT_TRUE(redis.ready()) << redis.error();
    const std::pair<RedisCredentials, const char*> refused[] = {
        {{"", "wrong-pw"}, "refused the password: WRONGPASS"},
        {{"node", "default-pw"}, "refused the password of user node"},
        {{}, "asks for a password: name a file that holds it with --cluster-password-file"},
    };
    for (const auto& [credentials, reason] : refused) {
        RedisClusterSettings s;
        std::string error;
        s.url = *ParseRedisUrl(redis.url(), error);
        s.url.credentials = credentials;
        s.secret = kSecret;
        EXPECT_FALSE(RedisCluster::Start(
            std::move(s), [] {}, error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(error.find("-pw"), std::string::npos) << error;
    }

    Node a(redis, {"node", "node-pw"});
    ASSERT_TRUE(a.WaitEvents(1));
    a.cluster->Advertise(Ad(31));
    auto raw = RawLink(redis, {"", "default-pw"});
    for (int i = 0; i < 100 && raw->Command({"HLEN", "vessaro:waiters:1"})->integer == 0; ++i)
        std::this_thread::sleep_for(10ms);
    Node b(redis, {"node", "node-pw"});
    ASSERT_TRUE(b.WaitEvents(2));
    EXPECT_EQ(b.Kinds(), (std::vector<Kind>{Kind::Joined, Kind::WaiterAdvertised}));
    a.cluster->SendToNode(2, Bytes("hello"));
    ASSERT_TRUE(b.WaitEvents(3));
    EXPECT_EQ(Text(b.events[2].message), "hello");

    raw->Command({"ACL", "SETUSER", "node", "resetpass", ">changed-pw"});
    raw->Command({"CLIENT", "KILL", "USER", "node"});
    ASSERT_TRUE(a.WaitEvents(2));
    EXPECT_EQ(a.events[1].kind, Kind::Lost);
    EXPECT_FALSE(a.WaitEvents(3, 500ms)) << "joined with a password Redis no longer takes";
    raw->Command({"ACL", "SETUSER", "node", "resetpass", ">node-pw"});
    ASSERT_TRUE(a.WaitEvents(3, 5s));
    EXPECT_EQ(a.events[2].kind, Kind::Joined);
    a.cluster->Stop();
    EXPECT_EQ(raw->Command({"EXISTS", "vessaro:node:1", "vessaro:waiters:1"})->integer, 0);
}

} // namespace
} // namespace vessaro::cluster
