#include "Membership.h"
#include "NodeSeal.h"
#include "PoolFrames.h"
#include "RedisUrl.h"

#include <gtest/gtest.h>


namespace vessaro::cluster {
namespace {

TEST(RedisUrl, GoodAddressesParseAndBadOnesSayWhy) {
    struct Good {
        const char* text;
        const char* host;
        uint16_t port;
        int db;
    } good[] = {
        {"redis://127.0.0.1:6380", "127.0.0.1", 6380, 0},
        {"redis://redis.internal:7000/3", "redis.internal", 7000, 3},
        {"redis://[::1]:6379/15", "::1", 6379, 15},
        {"redis://cache", "cache", 6379, 0},
    };
    for (const Good& g : good) {
        std::string error;
        std::optional<RedisUrl> url = ParseRedisUrl(g.text, error);
        ASSERT_TRUE(url) << g.text << ": " << error;
        EXPECT_EQ(url->host, g.host);
        EXPECT_EQ(url->port, g.port);
        EXPECT_EQ(url->db, g.db);
        EXPECT_EQ(ParseRedisUrl(url->Text(), error)->Text(), url->Text());
    }
    struct Bad {
        const char* text;
        const char* said;
    } bad[] = {
        {"127.0.0.1:6379", "redis://"},
        {"http://host:1", "redis://"},
        {"redis://", "host"},
        {"redis://host:0", "port"},
        {"redis://host:65536", "port"},
        {"redis://host:-1", "port"},
        {"redis://host:12ab", "port"},
        {"redis://host:1/x", "database"},
        {"redis://host:1/", "database"},
        {"redis://host:1/70000", "database"},
        {"redis://[::1:6379", "unclosed"},
        {"redis://[zz]:1", "IPv6"},
        {"redis://[::1]x:1", "unexpected"},
        {"redis://:pw@host:1", "password"},
        {"redis://ho st:1", "host"},
        {"redis://host:1:2", "port"},
    };
    for (const Bad& b : bad) {
        std::string error;
        EXPECT_FALSE(ParseRedisUrl(b.text, error)) << b.text;
        EXPECT_NE(error.find(b.said), std::string::npos) << b.text << " -> " << error;
    }
}

const std::vector<uint8_t> kSecret(32, 0x5a);

// Any change to a sealed frame, or a frame sealed with another secret, fails to open; so do
// frames cut short, of another version or of an unknown kind.
TEST(NodeSeal, OpensOnlyUntouchedFramesOfTheSameSecret) {
    NodeSeal seal(kSecret);
    const FrameHeader header{FrameKind::NodeMessage, 3, 7, 0x123456789abcdef0, 42};
    const std::vector<uint8_t> body = {1, 2, 3, 4, 5};
    const std::vector<uint8_t> frame = seal.Seal(header, body);
    std::optional<OpenedFrame> opened = seal.Open(frame);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->header.kind, header.kind);
    EXPECT_EQ(opened->header.sender, 3);
    EXPECT_EQ(opened->header.destination, 7);
    EXPECT_EQ(opened->header.epoch, header.epoch);
    EXPECT_EQ(opened->header.sequence, 42u);
    EXPECT_EQ(opened->body, body);

    for (std::size_t i = 0; i < frame.size(); ++i) {
        std::vector<uint8_t> changed = frame;
        changed[i] ^= 0x01;
        EXPECT_FALSE(seal.Open(changed)) << "byte " << i;
    }
    for (std::size_t size = 0; size < frame.size(); ++size)
        EXPECT_FALSE(seal.Open(std::span(frame).first(size))) << "cut to " << size;
    std::vector<uint8_t> otherSecret = kSecret;
    otherSecret[0] ^= 1;
    EXPECT_FALSE(NodeSeal(otherSecret).Open(frame));
    const std::vector<uint8_t> unknownKind = seal.Seal({FrameKind(9), 3, 0, 1, 1}, body);
    EXPECT_FALSE(seal.Open(unknownKind));
}

TEST(PoolFrames, AdvertKeepsEveryFieldAndRefusesOtherSizes) {
    WaiterAd ad;
    ad.sessionId = -5;
    ad.node = 9; // the sender's number is what counts
    ad.arrival = 0xfedcba9876543210;
    ad.relaxed = true;
    for (std::size_t i = 0; i < ad.records.size(); ++i)
        ad.records[i] = uint8_t(i * 7);
    std::vector<uint8_t> body = EncodeAdvert(ad);
    std::optional<WaiterAd> back = DecodeAdvert(body, 4);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sessionId, -5);
    EXPECT_EQ(back->node, 4);
    EXPECT_EQ(back->arrival, ad.arrival);
    EXPECT_TRUE(back->relaxed);
    EXPECT_EQ(back->records, ad.records);
    body[12] = 2;
    EXPECT_FALSE(DecodeAdvert(body, 4)) << "a flag other than 0 or 1";
    body[12] = 0;
    EXPECT_FALSE(DecodeAdvert(std::span(body).first(body.size() - 1), 4));
    body.push_back(0);
    EXPECT_FALSE(DecodeAdvert(body, 4));
    EXPECT_EQ(DecodeSessionId(EncodeSessionId(-77)), -77);
    EXPECT_FALSE(DecodeSessionId(std::vector<uint8_t>{1, 2, 3}));
}

FrameHeader Frame(uint16_t sender, uint64_t epoch, uint64_t sequence, uint16_t destination = 1,
                  FrameKind kind = FrameKind::NodeMessage) {
    return {kind, sender, destination, epoch, sequence};
}

// One node's frames in sequence: each step is what node 1 makes of the next frame.
TEST(Membership, FramesAreTakenOnceInTheirLifeAndLaterLivesEndEarlierOnes) {
    Membership m(1);
    struct Step {
        FrameHeader frame;
        Membership::Verdict verdict;
        std::vector<uint16_t> down, joined;
    } steps[] = {
        {Frame(2, 100, 1), Membership::Verdict::Take, {}, {2}},
        {Frame(2, 100, 2), Membership::Verdict::Take, {}, {}},
        {Frame(2, 100, 2), Membership::Verdict::Refuse, {}, {}},    // repeated
        {Frame(2, 100, 1), Membership::Verdict::Refuse, {}, {}},    // replayed
        {Frame(2, 100, 5, 3), Membership::Verdict::Refuse, {}, {}}, // for node 3
        {Frame(2, 100, 5, 0, FrameKind::Liveness), Membership::Verdict::Refuse, {}, {}},
        {Frame(2, 99, 9), Membership::Verdict::Refuse, {}, {}},     // an earlier life
        {Frame(2, 200, 1, 0), Membership::Verdict::Take, {2}, {2}}, // started again
        {Frame(2, 100, 9), Membership::Verdict::Refuse, {}, {}},
        {Frame(1, 7, 1, 0), Membership::Verdict::Own, {}, {}},
        {Frame(64, 7, 1), Membership::Verdict::Refuse, {}, {}}, // no such node
        {Frame(0, 7, 1), Membership::Verdict::Refuse, {}, {}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        MembershipChange change;
        EXPECT_EQ(m.Admit(steps[i].frame, change), steps[i].verdict) << "step " << i;
        EXPECT_EQ(change.down, steps[i].down) << "step " << i;
        EXPECT_EQ(change.joined, steps[i].joined) << "step " << i;
    }
    EXPECT_EQ(m.LiveCount(), 2u);
    EXPECT_TRUE(m.OnLeave(2).down == std::vector<uint16_t>{2});
    MembershipChange change;
    EXPECT_EQ(m.Admit(Frame(2, 200, 2), change), Membership::Verdict::Refuse)
        << "a life that left stays gone";
}

TEST(Membership, ScansFindNodesComingGoingAndStartedAgain) {
    Membership m(1);
    std::array<std::optional<LivenessRecord>, kMaxNodes + 1> records;
    records[1] = LivenessRecord{5, "self"};
    records[2] = LivenessRecord{10, "a:1"};
    records[3] = LivenessRecord{10, "b:1"};
    MembershipChange c = m.OnScan(records);
    EXPECT_EQ(c.joined, (std::vector<uint16_t>{2, 3}));
    EXPECT_TRUE(c.down.empty());
    EXPECT_EQ(m.AddressOf(3), "b:1");
    EXPECT_TRUE(m.AdmitEntry(Frame(2, 10, 0, 0, FrameKind::WaiterEntry)));
    EXPECT_FALSE(m.AdmitEntry(Frame(2, 9, 0, 0, FrameKind::WaiterEntry)));

    records[2].reset();                     // expired
    records[3] = LivenessRecord{11, "b:2"}; // started again within the expiry
    c = m.OnScan(records);
    EXPECT_EQ(c.down, (std::vector<uint16_t>{2, 3}));
    EXPECT_EQ(c.joined, (std::vector<uint16_t>{3}));
    records[2] = LivenessRecord{10, "a:1"}; // the old record again (written back by someone)
    c = m.OnScan(records);
    EXPECT_TRUE(c.joined.empty());
    EXPECT_FALSE(m.Live(2));

    m.Forget(); // Redis lost: nothing is reported gone, and the same lives count again after
    EXPECT_EQ(m.LiveCount(), 1u);
    c = m.OnScan(records);
    EXPECT_TRUE(c.down.empty());
    EXPECT_EQ(c.joined, (std::vector<uint16_t>{3}));
}

} // namespace
} // namespace vessaro::cluster
