#include "CoreHarness.h"
#include "ProofCookie.h"
#include "SipHash.h"

#include <gtest/gtest.h>

#include <map>
#include <numeric>

namespace vessaro::test {
namespace {

TEST(AddressProof, SipHashMatchesTheReferenceVectors) {
    // Key 00 01 … 0f; message 00 01 … of the given length.
    const std::array<uint64_t, 2> key = {0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull};
    const std::pair<std::size_t, uint64_t> vectors[] = {
        {0, 0x726fdb47dd0e0e31ull}, {1, 0x74f839c593dc67fdull}, {15, 0xa129ca6149be45e5ull}};
    for (const auto& [length, expected] : vectors) {
        std::vector<uint8_t> message(length);
        std::iota(message.begin(), message.end(), uint8_t(0));
        EXPECT_EQ(SipHash24(key, message), expected) << "length " << length;
    }
}

struct CookieCase {
    const char* name;
    Endpoint prover;
    int64_t afterMs;
    bool proves;
};

// Granted at the start of a 5 s slot (lifetime 15 s), the id proves only its own endpoint, until
// the third slot ends; granted at a slot's end, for at least two thirds of the lifetime.
TEST(AddressProof, ACookieProvesOnlyItsEndpointWithinTheLifetime) {
    const ProofCookie cookie({1, 2});
    const Endpoint ep = Ep(1, 5000);
    const CookieCase cases[] = {
        {"at once", ep, 0, true},
        {"just inside the lifetime", ep, 14999, true},
        {"at the lifetime", ep, 15000, false},
        {"much later (the slot number wraps)", ep, 20000, false},
        {"other port", Ep(1, 5001), 0, false},
        {"other address", Ep(2, 5000), 0, false},
    };
    for (const CookieCase& c : cases) {
        for (int variant = 0; variant < ProofCookie::kVariants; ++variant) {
            const int32_t id = cookie.Grant(ep, 1000000, 15000, variant);
            ASSERT_GT(id, 0) << c.name;
            EXPECT_EQ(cookie.Proves(c.prover, id, 1000000 + c.afterMs, 15000), c.proves)
                << c.name << ", variant " << variant;
        }
    }
    const int32_t late = cookie.Grant(ep, 1004999, 15000, 0);
    EXPECT_TRUE(cookie.Proves(ep, late, 1004999 + 10000, 15000));
    EXPECT_NE(ProofCookie({1, 3}).Grant(ep, 1000000, 15000, 0), cookie.Grant(ep, 1000000, 15000, 0))
        << "another key, another id";
}

// What a forged connect makes the server send to its victim: an acknowledgement and three
// notices spaced out, about 1 KB in all however often the connect is repeated, and nothing once
// the grant has expired unless the victim connects again. No session exists meanwhile.
TEST(AddressProof, AnUnprovenEndpointGetsAtMostAKilobyteAndIsForgotten) {
    CoreHarness h;
    TestClient victim{h, Ep(1, 5000)};
    std::vector<std::pair<int64_t, int32_t>> received; // (ms after the first connect, type)
    std::size_t bytes = 0;
    int32_t id = 0;
    for (int ms = 0; ms < 15000; ms += 250) {
        if (ms % 1000 == 0)
            victim.Send(BuildControl(MSG_CONNECT));
        for (const Sent& s : victim.Inbox()) {
            received.emplace_back(ms, s.type());
            bytes += s.bytes.size();
            EXPECT_EQ(s.view().sessionId(), id == 0 ? (id = s.view().sessionId()) : id);
        }
        h.Advance(250);
    }
    std::vector<std::pair<int64_t, int32_t>> notices;
    std::copy_if(received.begin(), received.end(), std::back_inserter(notices),
                 [](const auto& r) { return r.second == MSG_NOTICE; });
    EXPECT_EQ(notices, (std::vector<std::pair<int64_t, int32_t>>{
                           {0, MSG_NOTICE}, {2000, MSG_NOTICE}, {6000, MSG_NOTICE}}));
    EXPECT_LE(bytes, 1024u);
    EXPECT_EQ(h.server.Stats().sessions, 0u);
    h.Advance(1000);
    EXPECT_EQ(h.server.Stats().unprovenSessions, 0u);
    h.Advance(60000);
    EXPECT_TRUE(victim.Inbox().empty());
}

struct ProofCase {
    const char* name;
    int64_t delayMs;
    Endpoint prover;
    int32_t type;
    bool opens;
    std::vector<int32_t> answer;
};

TEST(AddressProof, TheGrantedIdFromItsEndpointOpensTheSession) {
    const ProofCase cases[] = {
        {"notice acknowledged", 0, Ep(1, 1), MSG_NOTICE_ACK, true, {}},
        {"match request", 3000, Ep(1, 1), MSG_MATCH_REQUEST, true, {MSG_MATCH_REQUEST_ACK}},
        {"disconnect", 0, Ep(1, 1), MSG_DISCONNECT, false, {MSG_DISCONNECT_ACK}},
        {"from another port", 0, Ep(1, 2), MSG_NOTICE_ACK, false, {MSG_SESSION_CLOSED}},
        {"after the lifetime", 15000, Ep(1, 1), MSG_NOTICE_ACK, false, {MSG_SESSION_CLOSED}},
    };
    for (const ProofCase& c : cases) {
        ServerConfig config = TestConfig();
        config.maxUnproven = 1; // the next connect evicts the grant: the id alone must prove it
        CoreHarness h(config);
        TestClient client{h, Ep(1, 1)}, other{h, Ep(7, 7)};
        client.Send(BuildControl(MSG_CONNECT));
        client.session = client.Inbox().front().view().sessionId();
        other.Send(BuildControl(MSG_CONNECT));
        h.Advance(c.delayMs);
        TestClient prover{h, c.prover, client.session};
        if (c.type == MSG_MATCH_REQUEST)
            prover.Request(Profile(SEX_MALE, 30), Want());
        else
            prover.Control(c.type);
        std::vector<Sent> in = prover.Inbox();
        EXPECT_EQ(Types(in), c.answer) << c.name;
        EXPECT_EQ(h.server.Stats().sessions, c.opens ? 1u : 0u) << c.name;
        if (!c.opens)
            continue;
        h.Advance(9999);
        EXPECT_EQ(Count(client.Inbox(), MSG_NOTICE), 0) << c.name << ": no more unproven copies";
        h.Advance(1);
        EXPECT_EQ(Count(client.Inbox(), MSG_NOTICE), 1) << c.name << ": notices from the proof on";
    }
}

// A session id closed lately is still taken: the same endpoint connecting again in the same time
// slot gets another id, and the old one cannot reopen a session.
TEST(AddressProof, AnIdInUseIsNeverGrantedAgain) {
    CoreHarness h;
    TestClient a{h, Ep(1, 1)};
    ASSERT_TRUE(a.Connect());
    const int32_t first = a.session;
    a.Control(MSG_DISCONNECT);
    ASSERT_TRUE(a.Connect());
    EXPECT_NE(a.session, first);
    EXPECT_EQ(h.server.Stats().sessions, 1u);
    TestClient stale{h, a.ep, first};
    stale.Control(MSG_NOTICE_ACK);
    EXPECT_EQ(h.server.Stats().sessions, 1u);
}

// Endpoints granted ids before any of them proves its address (a crowd connecting at once) never
// share one: the first to prove a shared id would lock the other out, its datagrams dropped as
// another's. 40,000 grants of 27-bit hashes would collide a few times.
TEST(AddressProof, IdsAwaitingTheirProofAreNeverGrantedTwice) {
    ServerConfig config = TestConfig();
    config.maxSessions = config.maxSessionsPerAddress = config.maxUnproven = 50000;
    config.unprovenBytesPerSecondPerNetwork = 1e12;
    config.datagramsPerSecondPerAddress = 1e12;
    CoreHarness h(config);
    std::map<int32_t, Endpoint> granted;
    for (uint32_t i = 0; i < 40000; ++i) {
        const Endpoint ep = Ep(i >> 16, uint16_t(i));
        h.Deliver(ep, BuildControl(MSG_CONNECT));
        for (const Sent& s : h.sent) {
            if (s.type() == MSG_CONNECT_ACK) {
                EXPECT_TRUE(granted.emplace(s.view().sessionId(), ep).second) << i;
            }
        }
        h.sent.clear();
    }
    ASSERT_EQ(granted.size(), 40000u);
    for (const auto& [id, ep] : granted)
        h.Deliver(ep, BuildControl(MSG_NOTICE_ACK, id));
    EXPECT_EQ(h.server.Stats().sessions, 40000u);
}

// Forged connects from a whole /24 make the server send that network no more than its byte
// budget (1 KB/s, a 2 KB burst), and do not touch another network or proven sessions.
TEST(AddressProof, ANetworkGetsNoMoreThanItsBudgetFromUnprovenReplies) {
    CoreHarness h;
    TestClient proven{h, Ep(200, 1)}, neighbour{h, Ep(1, 1, 0x0B000000)};
    ASSERT_TRUE(proven.Connect());
    const int64_t seconds = 10;
    for (int64_t ms = 0; ms < seconds * 1000; ms += 10) {
        for (uint32_t host = 1; host <= 5; ++host)
            h.Deliver(Ep(host, uint16_t(ms)), BuildControl(MSG_CONNECT));
        h.Deliver(Ep(6, 1), BuildControl(MSG_NOTICE_ACK, 1000 + int32_t(ms)));
        h.Advance(10);
    }
    std::size_t bytes = 0;
    for (const Sent& s : h.sent)
        bytes += s.to == proven.ep ? 0 : s.bytes.size();
    EXPECT_LE(bytes, std::size_t(2048 + 1024 * seconds));
    EXPECT_GT(bytes, std::size_t(1024 * (seconds - 1))) << "the budget is used, not withheld";
    EXPECT_GE(Count(proven.Inbox(), MSG_NOTICE), 1) << "proven sessions are not budgeted";
    EXPECT_TRUE(neighbour.Connect());
    EXPECT_EQ(h.server.Stats().sessions, 2u);
    EXPECT_GT(h.server.Stats().droppedUnprovenBudget, 0u);
}

// Clients that prove their address give their network back what they were sent: fifty real
// clients behind one NAT connect within the same second.
TEST(AddressProof, ProvenClientsDoNotUseUpTheirNetworksBudget) {
    ServerConfig config = TestConfig();
    config.maxSessionsPerAddress = 100;
    CoreHarness h(config);
    for (uint16_t port = 1; port <= 50; ++port) {
        TestClient client{h, Ep(1, port)};
        ASSERT_TRUE(client.Connect()) << "client " << port;
    }
    EXPECT_EQ(h.server.Stats().sessions, 50u);
    EXPECT_EQ(h.server.Stats().droppedUnprovenBudget, 0u);
}

struct UnknownCase {
    const char* name;
    std::vector<uint8_t> datagram;
    bool answered;
};

TEST(AddressProof, UnknownSessionsAreAnsweredOncePerIntervalAndNeverBigger) {
    auto message = [](int32_t type, int32_t id) {
        auto m = BuildControl(type, id);
        return std::vector<uint8_t>(m.begin(), m.end());
    };
    const UnknownCase cases[] = {
        {"a client's message", message(MSG_NOTICE_ACK, 4242), true},
        {"session 0", message(MSG_NOTICE_ACK, 0), false},
        {"a server's message", message(MSG_SESSION_CLOSED, 4242), false},
    };
    for (const UnknownCase& c : cases) {
        CoreHarness h;
        for (int i = 0; i < 5; ++i)
            h.Deliver(Ep(1, uint16_t(i)), c.datagram);
        h.Deliver(Ep(2, 1), c.datagram); // another address is paced on its own
        h.Advance(1000);
        h.Deliver(Ep(1, 9), c.datagram);
        const int expected = c.answered ? 3 : 0;
        EXPECT_EQ(Count(h.sent, MSG_SESSION_CLOSED), expected) << c.name;
        for (const Sent& s : h.sent)
            EXPECT_EQ(s.view().sessionId(), 4242) << c.name;
    }
}

} // namespace
} // namespace vessaro::test
