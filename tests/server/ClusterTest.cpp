#include "ClusterHarness.h"
#include "cluster/NodeIds.h"
#include "cluster/NodeMessage.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>

namespace vessaro::test {
namespace {

using cluster::NodeOfId;

TestClient Connected(CoreHarness& h, uint32_t host) {
    TestClient c{h, Ep(host, uint16_t(4000 + host))};
    EXPECT_TRUE(c.Connect());
    c.Inbox();
    return c;
}

void Accept(std::initializer_list<TestClient*> clients, const std::function<void()>& pump) {
    for (TestClient* c : clients) {
        c->Control(MSG_PARTNER_FOUND_ACK);
        c->Control(MSG_ACCEPT);
        pump();
    }
}

// What two clients see through a whole conversation, step by step: offer, acceptance, texts and
// acknowledgements both ways, a hang-up. Returns the types each received at each step, and
// checks that texts arrive byte for byte under the receiver's own ids.
std::vector<std::vector<int32_t>> Converse(CoreHarness& ha, CoreHarness& hb,
                                           const std::function<void()>& pump,
                                           const std::function<void(int64_t)>& advance) {
    TestClient a = Connected(ha, 1), b = Connected(hb, 2);
    std::vector<std::vector<int32_t>> seen;
    auto step = [&] {
        pump();
        seen.push_back(Types(a.Inbox()));
        seen.push_back(Types(b.Inbox()));
    };
    a.Request(Profile(SEX_MALE, 30, "深圳", "南山", "阿明"), Want());
    step();
    b.Request(Profile(SEX_FEMALE, 28, "广州", "天河", "小红"), Want());
    pump();
    std::optional<UserProfile> toA = a.TakeOffer(), toB = b.TakeOffer();
    EXPECT_TRUE(toA && toB);
    if (!toA || !toB)
        return seen;
    EXPECT_EQ(FieldText(toA->nickname), EncodeGbkOrEmpty("小红"));
    EXPECT_EQ(FieldText(toB->nickname), EncodeGbkOrEmpty("阿明"));
    EXPECT_EQ(a.conversation, b.conversation);
    Accept({&a, &b}, pump);
    step();
    a.Control(MSG_TALK_START_ACK);
    b.Control(MSG_TALK_START_ACK);
    step();
    for (auto [from, to] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
        from->Send(BuildTalkText(from->session, from->conversation, 7, MakeTalkText("你好")));
        pump();
        std::vector<Sent> in = to->Inbox();
        EXPECT_EQ(Types(in), std::vector<int32_t>{MSG_TALK_TEXT});
        const auto asReceived =
            BuildTalkText(to->session, to->conversation, 7, MakeTalkText("你好"));
        if (in.size() == 1) {
            EXPECT_TRUE(std::equal(in[0].bytes.begin(), in[0].bytes.end(), asReceived.begin(),
                                   asReceived.end()));
        }
        to->Send(BuildTalkAck(to->session, to->conversation, 7, 0));
        step();
    }
    a.Control(MSG_HANGUP);
    step();
    advance(2000);
    step();
    b.Control(MSG_PEER_HANGUP_ACK);
    advance(5000);
    step();
    return seen;
}

TEST(Cluster, UsersOfTwoNodesMeetAndTalkAsOnOneNode) {
    CoreHarness single;
    const auto expected = Converse(
        single, single, [] {}, [&](int64_t ms) { single.Advance(ms); });
    ClusterHub hub(2);
    const auto seen = Converse(
        hub.Node(1), hub.Node(2), [&] { hub.Pump(); }, [&](int64_t ms) { hub.Advance(ms); });
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(hub.Node(1).server.Stats().conversations, 0u);
    EXPECT_EQ(hub.Node(2).server.Stats().conversations, 0u);
    EXPECT_EQ(hub.Node(1).server.Stats().textsRelayed + hub.Node(2).server.Stats().textsRelayed,
              2u);
}

struct PreferenceCase {
    const char* name;
    std::vector<std::pair<uint16_t, const char*>> waiters; // node, topic; in arrival order
    std::size_t expected;
};

// The seeker (node 1, topic "甲") gets the same partner it would get on one node.
TEST(Cluster, OrderOfPreferenceSpansNodes) {
    const PreferenceCase cases[] = {
        {"longest waiting first, on another node", {{2, "甲"}, {1, "甲"}, {3, "甲"}}, 0},
        {"longest waiting first, on this node", {{1, "甲"}, {2, "甲"}}, 0},
        {"same topic before longer waiting", {{2, "乙"}, {3, "甲"}, {1, "乙"}}, 1},
        {"any topic once nobody shares it", {{3, "乙"}, {2, "丙"}}, 0},
    };
    ServerConfig config = TestConfig();
    config.anyTopicAfterMs = 0;
    for (const PreferenceCase& c : cases) {
        ClusterHub hub(3, config);
        std::vector<TestClient> waiters;
        for (const auto& [node, topic] : c.waiters) {
            waiters.push_back(Connected(hub.Node(node), uint32_t(10 + waiters.size())));
            waiters.back().Request(Profile(SEX_MALE, 30), Want(SEX_FEMALE, 0, 120, "", "", topic));
            hub.Pump();
        }
        TestClient seeker = Connected(hub.Node(1), 99);
        seeker.Request(Profile(SEX_FEMALE, 30), Want(SEX_ANY, 0, 120, "", "", "甲"));
        hub.Pump();
        EXPECT_TRUE(seeker.TakeOffer()) << c.name;
        for (std::size_t i = 0; i < waiters.size(); ++i)
            EXPECT_EQ(bool(waiters[i].TakeOffer()), i == c.expected) << c.name << ", waiter " << i;
    }
}

// Both seekers claim the one waiter before either claim arrives: one is granted, the other is
// refused and waits; nobody is offered twice.
TEST(Cluster, TwoClaimsOfOneWaiterGrantOne) {
    ClusterHub hub(3);
    TestClient w = Connected(hub.Node(1), 1);
    w.Request(Profile(SEX_MALE, 30), Want());
    hub.Pump();
    TestClient s2 = Connected(hub.Node(2), 2), s3 = Connected(hub.Node(3), 3);
    hub.holding = true;
    s2.Request(Profile(SEX_FEMALE, 30), Want());
    s3.Request(Profile(SEX_FEMALE, 31), Want());
    hub.holding = false;
    hub.Pump();
    EXPECT_EQ(Count(w.Inbox(), MSG_PARTNER_FOUND), 1);
    const bool got2 = bool(s2.TakeOffer()), got3 = bool(s3.TakeOffer());
    EXPECT_NE(got2, got3);
    CoreHarness& loser = hub.Node(got2 ? 3 : 2);
    EXPECT_EQ(loser.server.Stats().clusterClaimsLost, 1u);
    EXPECT_EQ(loser.server.Stats().waiting, 1u);
    EXPECT_EQ(hub.Node(1).server.Stats().clusterClaimsRefused, 1u);
}

// Each node's user searched before the other's advertisement arrived (for another topic: both
// relax at the same moment, each before hearing of the other); the pair is still made, once,
// also when both nodes stamped their users alike.
TEST(Cluster, CrossingAdvertisementsStillPair) {
    for (auto [topicB, equalStamps] : {std::pair{"谈天说地", false}, std::pair{"音乐", false},
                                       std::pair{"谈天说地", true}, std::pair{"音乐", true}}) {
        ClusterHub hub(2);
        hub.equalStamps = equalStamps;
        TestClient a = Connected(hub.Node(1), 1), b = Connected(hub.Node(2), 2);
        hub.holding = true;
        a.Request(Profile(SEX_MALE, 30), Want());
        b.Request(Profile(SEX_FEMALE, 30), Want(SEX_ANY, 0, 120, "", "", topicB));
        hub.holding = false;
        hub.Pump();
        hub.Advance(TestConfig().anyTopicAfterMs);
        ASSERT_TRUE(a.TakeOffer() && b.TakeOffer())
            << topicB << (equalStamps ? ", equal stamps" : "");
        EXPECT_EQ(a.conversation, b.conversation)
            << topicB << (equalStamps ? ", equal stamps" : "");
        EXPECT_EQ(hub.Node(1).server.Stats().matchesMade + hub.Node(2).server.Stats().matchesMade,
                  1u)
            << topicB << (equalStamps ? ", equal stamps" : "");
    }
}

// Users who would all take one another arrive on three nodes at random moments, with the hub
// holding the cluster's traffic now and then so that advertisements and claims cross. In the
// end at most one user waits, and every offer pairs exactly two users, each offered once.
TEST(Cluster, UsersWhoFitArePairedOnceHoweverTrafficCrosses) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        ClusterHub hub(3);
        std::vector<TestClient> users;
        for (uint32_t i = 0; i < 12; ++i) {
            const uint16_t node = uint16_t(1 + random() % 3);
            users.push_back(Connected(hub.Node(node), 10 + i));
            hub.holding = random() % 2 == 0;
            users.back().Request(Profile(SEX_MALE, 30),
                                 Want(SEX_ANY, 0, 120, "", "", random() % 2 ? "甲" : "乙"));
            if (!hub.holding || random() % 4 == 0) {
                hub.holding = false;
                hub.Pump();
            }
        }
        hub.holding = false;
        hub.Pump();
        hub.Advance(TestConfig().anyTopicAfterMs);
        std::map<int32_t, int> offered; // conversation -> users offered it
        for (TestClient& user : users) {
            std::set<int32_t> mine;
            for (const Sent& sent : user.Inbox()) {
                if (sent.type() == MSG_PARTNER_FOUND)
                    mine.insert(sent.view().conversationId());
            }
            EXPECT_LE(mine.size(), 1u) << "seed " << seed;
            for (int32_t conversation : mine)
                ++offered[conversation];
        }
        for (const auto& [conversation, count] : offered)
            EXPECT_EQ(count, 2) << "seed " << seed;
        std::size_t waiting = 0;
        for (uint16_t node : {1, 2, 3})
            waiting += hub.Node(node).server.Stats().waiting;
        EXPECT_LE(waiting, 1u) << "seed " << seed;
        EXPECT_EQ(waiting + 2 * offered.size(), users.size()) << "seed " << seed;
    }
}

// Pairs of users, one of each pair on each node, each pair with a topic of its own, ask at random
// moments while the cluster's traffic crawls (a few posts at a time, the clocks running on) and
// clients that have had no offer repeat their requests, as when an acknowledgement is lost. In
// the end every pair has been offered to each other, once, and nobody waits.
TEST(Cluster, EveryPairIsMadeDespiteRepeatedRequestsAndSlowTraffic) {
    ServerConfig config = TestConfig();
    config.anyTopicAfterMs = 3600000;  // topics never relax: each user fits one partner only
    config.sessionTimeoutMs = 3600000; // clients here are silent between their requests
    constexpr uint32_t kPairs = 6;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        std::mt19937 random(seed);
        ClusterHub hub(2, config);
        hub.holding = true;
        std::vector<TestClient> users; // pair i: users[2i] on node 1, users[2i + 1] on node 2
        for (uint32_t i = 0; i < 2 * kPairs; ++i)
            users.push_back(Connected(hub.Node(uint16_t(1 + i % 2)), 10 + i));
        std::vector<std::set<int32_t>> offers(users.size());
        std::vector<bool> asked(users.size());
        auto read = [&] {
            for (std::size_t u = 0; u < users.size(); ++u) {
                for (const Sent& sent : users[u].Inbox()) {
                    if (sent.type() != MSG_PARTNER_FOUND)
                        continue;
                    users[u].conversation = sent.view().conversationId();
                    offers[u].insert(users[u].conversation);
                    users[u].Control(MSG_PARTNER_FOUND_ACK);
                }
            }
        };
        auto ask = [&](std::size_t u) {
            const std::string topic = "t" + std::to_string(u / 2);
            users[u].Request(Profile(u % 2 ? SEX_FEMALE : SEX_MALE, 30),
                             Want(SEX_ANY, 0, 120, "", "", topic.c_str()));
            asked[u] = true;
        };
        for (int step = 0; step < 300; ++step) {
            const std::size_t u = random() % users.size();
            if (offers[u].empty() && (!asked[u] || random() % 3 == 0))
                ask(u);
            hub.PumpSome(random() % 4, uint16_t(random() % 3));
            if (random() % 4 == 0)
                hub.Advance(int64_t(random() % 700));
            if (random() % 64 == 0)
                hub.Advance(int64_t(random() % 7000)); // a link stalls past a claim's time-out
            read();
        }
        for (int round = 0; round < 3; ++round) {
            for (std::size_t u = 0; u < users.size(); ++u) {
                if (offers[u].empty())
                    ask(u);
            }
            hub.holding = false;
            hub.Pump();
            hub.Advance(6000);
            read();
        }
        for (std::size_t u = 0; u < users.size(); u += 2) {
            EXPECT_EQ(offers[u].size(), 1u) << "seed " << seed << ", pair " << u / 2;
            EXPECT_EQ(offers[u], offers[u + 1]) << "seed " << seed << ", pair " << u / 2;
        }
        EXPECT_EQ(hub.Node(1).server.Stats().waiting + hub.Node(2).server.Stats().waiting, 0u)
            << "seed " << seed;
    }
}

// While a claim is out the seeker may leave, or the waiter's node may die or never answer; the
// waiter is then never left in an offer with nobody, and the seeker waits again where it still
// wants a partner.
TEST(Cluster, AClaimThatComesToNothingLeavesBothUsersFree) {
    enum class Then { SeekerCancels, OwnerDies, NoAnswer };
    const struct {
        const char* name;
        Then then;
    } cases[] = {
        {"the seeker cancels", Then::SeekerCancels},
        {"the waiter's node dies", Then::OwnerDies},
        {"no answer comes", Then::NoAnswer},
    };
    for (const auto& c : cases) {
        ClusterHub hub(2);
        TestClient w = Connected(hub.Node(1), 1), s = Connected(hub.Node(2), 2);
        w.Request(Profile(SEX_MALE, 30), Want());
        hub.Pump();
        hub.holding = true;
        s.Request(Profile(SEX_FEMALE, 30), Want());
        if (c.then == Then::SeekerCancels)
            s.Control(MSG_MATCH_CANCEL);
        if (c.then == Then::NoAnswer)
            hub.posts_.clear();
        hub.holding = false;
        if (c.then == Then::OwnerDies)
            hub.Kill(1);
        hub.Pump();
        hub.Advance(5000);
        EXPECT_FALSE(s.TakeOffer()) << c.name;
        const ServerStats seeker = hub.Node(2).server.Stats();
        EXPECT_EQ(seeker.waiting, c.then == Then::SeekerCancels ? 0u : 1u) << c.name;
        EXPECT_EQ(seeker.conversations, 0u) << c.name;
        if (c.then == Then::SeekerCancels) {
            EXPECT_GE(Count(w.Inbox(), MSG_PEER_HANGUP), 1) << "offered, then told at once";
            EXPECT_EQ(hub.Node(1).server.Stats().conversations, 0u);
        } else {
            EXPECT_EQ(seeker.clusterClaimsLost, 1u) << c.name;
        }
    }
}

// A grant that comes after the seeker gave its claim up, while the seeker waits again for the
// same request, pairs the two; once the seeker has asked for something else, the waiter is freed.
TEST(Cluster, AGrantThatComesLateStillPairsASeekerWhoWaits) {
    for (bool askedAnew : {false, true}) {
        ClusterHub hub(2);
        TestClient w = Connected(hub.Node(1), 1), s = Connected(hub.Node(2), 2);
        w.Request(Profile(SEX_MALE, 30), Want());
        hub.Pump();
        hub.holding = true;
        s.Request(Profile(SEX_FEMALE, 30), Want());
        hub.Advance(5000); // the claim lapses unanswered
        s.Request(Profile(SEX_FEMALE, 30),
                  Want(SEX_ANY, 0, 120, "", "", askedAnew ? "音乐" : "谈天说地"));
        hub.holding = false;
        hub.Pump();
        const std::vector<Sent> toW = w.Inbox();
        const std::optional<UserProfile> toS = s.TakeOffer();
        EXPECT_EQ(hub.Node(2).server.Stats().clusterClaimsLost, 1u);
        EXPECT_EQ(Count(toW, MSG_PARTNER_FOUND), 1) << askedAnew;
        EXPECT_EQ(Count(toW, MSG_PEER_HANGUP), askedAnew ? 1 : 0) << askedAnew;
        EXPECT_EQ(toS.has_value(), !askedAnew);
        EXPECT_EQ(hub.Node(2).server.Stats().waiting, askedAnew ? 1u : 0u);
        EXPECT_EQ(hub.Node(1).server.Stats().conversations +
                      hub.Node(2).server.Stats().conversations,
                  askedAnew ? 0u : 2u);
    }
}

// An id granted to an endpoint still proving its address is not granted again while the grant is
// remembered; once the unproven table has let it go (it is full, here after one entry), the
// shorter cookie of a node lets two endpoints share an id. Whoever proves it second is told its
// session is closed, and connecting again gets it an id of its own that works.
TEST(Cluster, AnEndpointGrantedAnIdInUseIsToldAndConnectsAgain) {
    ServerConfig config = TestConfig();
    config.maxSessions = 100000;
    config.maxUnproven = 1;
    ClusterHub hub(2, config);
    CoreHarness& h = hub.Node(1);
    std::map<int32_t, Endpoint> granted;
    std::optional<std::pair<Endpoint, Endpoint>> clash;
    int32_t id = 0;
    for (uint32_t i = 1; i < 60000 && !clash; ++i) {
        const Endpoint ep = Ep(1, 5000, 0x0A000000 | i << 8); // a network each: no reply budget
        h.Deliver(ep, BuildControl(MSG_CONNECT));
        for (const Sent& sent : h.TakeFor(ep)) {
            if (sent.type() == MSG_CONNECT_ACK && sent.view().connectResult() == 1) {
                id = sent.view().sessionId();
                if (auto [it, fresh] = granted.emplace(id, ep); !fresh)
                    clash = std::pair(it->second, ep);
            }
        }
    }
    ASSERT_TRUE(clash) << "no two endpoints were granted one id";
    TestClient first{h, clash->first}, second{h, clash->second};
    first.session = second.session = id;
    first.Control(MSG_NOTICE_ACK);
    second.Request(Profile(SEX_MALE, 30), Want());
    EXPECT_EQ(Types(second.Inbox()), std::vector<int32_t>{MSG_SESSION_CLOSED});
    ASSERT_TRUE(second.Connect());
    EXPECT_NE(second.session, first.session);
    second.Request(Profile(SEX_MALE, 30), Want());
    EXPECT_EQ(Count(second.Inbox(), MSG_MATCH_REQUEST_ACK), 1);
}

// A node's ids carry its number and prove their endpoint; with another node's number, no id does.
TEST(Cluster, ProofCookiesOfANodeCarryItsNumber) {
    ProofCookie cookie({1, 2}), other({1, 2});
    cookie.SetNode(5);
    other.SetNode(6);
    const Endpoint ep = Ep(1, 5000);
    for (int variant = 0; variant < 2; ++variant) {
        const int32_t id = cookie.Grant(ep, 1000000, 15000, variant);
        EXPECT_EQ(NodeOfId(id), 5);
        EXPECT_TRUE(cookie.Proves(ep, id, 1000000 + 9999, 15000));
        EXPECT_FALSE(cookie.Proves(Ep(1, 5001), id, 1000000, 15000));
        EXPECT_FALSE(cookie.Proves(ep, cluster::WithNode(uint32_t(id), 6), 1000000, 15000));
        EXPECT_FALSE(other.Proves(ep, id, 1000000, 15000));
    }
    EXPECT_EQ(cookie.Grant(ep, 1000000, 15000, 2), 0) << "two variants are left";
}

struct Pair {
    TestClient a, b;
};

Pair Talking(ClusterHub& hub, uint16_t nodeA, uint16_t nodeB, uint32_t host) {
    Pair p{Connected(hub.Node(nodeA), host), Connected(hub.Node(nodeB), host + 1)};
    p.a.Request(Profile(SEX_MALE, 30), Want(SEX_FEMALE));
    hub.Pump();
    p.b.Request(Profile(SEX_FEMALE, 30), Want(SEX_MALE));
    hub.Pump();
    EXPECT_TRUE(p.a.TakeOffer() && p.b.TakeOffer());
    EXPECT_EQ(NodeOfId(p.a.session), nodeA);
    EXPECT_EQ(NodeOfId(p.a.conversation), nodeA) << "the waiter's node makes the conversation";
    Accept({&p.a, &p.b}, [&] { hub.Pump(); });
    p.a.Control(MSG_TALK_START_ACK);
    p.b.Control(MSG_TALK_START_ACK);
    p.a.Inbox();
    p.b.Inbox();
    return p;
}

// A node that dies, or stops and says so, takes its waiters out of the pool and ends the
// conversations of its users; their partners are told as on one node.
TEST(Cluster, ANodeThatGoesEndsItsConversationsAndTakesItsWaiters) {
    for (bool dies : {true, false}) {
        ClusterHub hub(2);
        Pair p = Talking(hub, 1, 2, 1);
        TestClient waiter = Connected(hub.Node(2), 5);
        waiter.Request(Profile(SEX_MALE, 60), Want(SEX_MALE));
        hub.Pump();
        ASSERT_EQ(hub.Node(1).server.Stats().remoteWaiting, 1u);
        if (dies) {
            hub.Kill(2);
        } else {
            hub.Node(2).server.Shutdown();
            hub.Pump();
        }
        hub.Advance(1000);
        EXPECT_EQ(Count(p.a.Inbox(), MSG_PEER_HANGUP), 2) << "told, then again until acknowledged";
        EXPECT_EQ(hub.Node(1).server.Stats().conversations, 0u);
        EXPECT_EQ(hub.Node(1).server.Stats().remoteWaiting, 0u);
    }
}

TEST(Cluster, LostClusterKeepsLocalTalksAndRejoiningAdvertisesAgain) {
    ClusterHub hub(2);
    Pair local = Talking(hub, 1, 1, 1);
    Pair across = Talking(hub, 1, 2, 3);
    TestClient w1 = Connected(hub.Node(1), 5), w2 = Connected(hub.Node(2), 6);
    w1.Request(Profile(SEX_MALE, 60), Want(SEX_MALE));
    w2.Request(Profile(SEX_MALE, 61), Want(SEX_FEMALE));
    hub.Pump();
    hub.Cut();
    local.a.Send(BuildTalkText(local.a.session, local.a.conversation, 1, MakeTalkText("还在")));
    EXPECT_EQ(Count(local.b.Inbox(), MSG_TALK_TEXT), 1);
    EXPECT_EQ(Count(across.a.Inbox(), MSG_PEER_HANGUP), 1);
    EXPECT_EQ(Count(across.b.Inbox(), MSG_PEER_HANGUP), 1);
    for (uint16_t node : {1, 2})
        EXPECT_EQ(hub.Node(node).server.Stats().remoteWaiting, 0u);
    hub.Restore();
    for (uint16_t node : {1, 2}) {
        EXPECT_EQ(hub.Node(node).server.Stats().waiting, 1u);
        EXPECT_EQ(hub.Node(node).server.Stats().remoteWaiting, 1u);
    }
}

// The transport vouches for the sending node; the core still refuses what that node has no
// business saying, and anything it cannot read. The partner sees nothing.
TEST(Cluster, NodeMessagesFromTheWrongNodeOrMalformedAreRefused) {
    ClusterHub hub(3);
    Pair p = Talking(hub, 1, 2, 1);
    cluster::NodeMessage text;
    text.kind = cluster::NodeMessage::Kind::Text;
    text.conversationId = p.a.conversation;
    text.from = p.b.session;
    text.to = p.a.session;
    const auto datagram = BuildTalkText(p.b.session, p.b.conversation, 9, MakeTalkText("假的"));
    std::copy(datagram.begin(), datagram.end(), text.text.begin());
    const std::vector<uint8_t> good = cluster::EncodeNodeMessage(text);
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    cluster::NodeMessage strange = text;
    strange.to ^= 1;
    struct Case {
        const char* name;
        uint16_t sender;
        std::vector<uint8_t> bytes;
        bool delivered;
    } cases[] = {
        {"a node other than the partner's", 3, good, false},
        {"this node itself", 1, good, false},
        {"a node number out of range", 64, good, false},
        {"cut short", 2, truncated, false},
        {"for a user not in the conversation", 2, cluster::EncodeNodeMessage(strange), false},
        {"the partner's node", 2, good, true},
    };
    for (const Case& c : cases) {
        const uint64_t refused = hub.Node(1).server.Stats().clusterMessagesRefused;
        cluster::ClusterEvent event;
        event.kind = cluster::ClusterEvent::Kind::NodeMessage;
        event.node = c.sender;
        event.message = c.bytes;
        hub.Node(1).server.OnClusterEvent(event, hub.Node(1).now);
        EXPECT_EQ(hub.Node(1).server.Stats().clusterMessagesRefused, refused + !c.delivered)
            << c.name;
        EXPECT_EQ(Count(p.a.Inbox(), MSG_TALK_TEXT), c.delivered) << c.name;
    }
    // Nor may a node withdraw, or advertise anew, a user of another node.
    TestClient w = Connected(hub.Node(2), 9);
    w.Request(Profile(SEX_MALE, 60), Want(SEX_MALE));
    hub.Pump();
    cluster::ClusterEvent withdraw;
    withdraw.kind = cluster::ClusterEvent::Kind::WaiterWithdrawn;
    withdraw.node = 3;
    withdraw.sessionId = w.session;
    cluster::ClusterEvent advertise;
    advertise.kind = cluster::ClusterEvent::Kind::WaiterAdvertised;
    advertise.node = 3;
    advertise.ad.sessionId = w.session;
    advertise.ad.node = 2;
    advertise.ad.arrival = 1;
    const uint64_t refused = hub.Node(1).server.Stats().clusterMessagesRefused;
    for (const cluster::ClusterEvent& event : {withdraw, advertise})
        hub.Node(1).server.OnClusterEvent(event, hub.Node(1).now);
    EXPECT_EQ(hub.Node(1).server.Stats().clusterMessagesRefused, refused + 2);
    EXPECT_EQ(hub.Node(1).server.Stats().remoteWaiting, 1u);
}

} // namespace
} // namespace vessaro::test
