#pragma once

#include "ByteOrder.h"
#include "Codec.h"
#include "MatchServer.h"
#include "Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

namespace vessaro::test {

// Settings that make every test's arithmetic obvious.
inline ServerConfig TestConfig() {
    ServerConfig c;
    c.maxSessions = 100;
    c.maxSessionsPerAddress = 10;
    c.noticeUrl = "http://site.test/match/adv.html";
    c.noticeIntervalMs = 10000;
    c.probeIntervalMs = 5000;
    c.anyTopicAfterMs = 10000;
    c.offerTimeoutMs = 40000;
    return c;
}

inline Endpoint Ep(uint32_t lastOctet, uint16_t port, uint32_t net = 0x0A000000) {
    return Endpoint{net | lastOctet, port};
}

struct Sent {
    Endpoint to;
    std::vector<uint8_t> bytes;
    DatagramView view() const { return DatagramView(bytes.data(), bytes.size()); }
    int32_t type() const { return view().type(); }
};

// The protocol core on a manual clock, with every datagram it sends kept for inspection. Checks
// that what the server sends is always a well-formed server message.
class CoreHarness {
public:
    explicit CoreHarness(ServerConfig config = TestConfig())
        : server(
              config, [this](const Endpoint& to, std::span<const uint8_t> d) { Record(to, d); },
              [this] { return NextRandom(); }) {}

    void Deliver(const Endpoint& from, std::span<const uint8_t> bytes) {
        server.OnDatagram(from, bytes, now);
    }

    // Moves the clock forward, running every timer at its own time.
    void Advance(int64_t ms) {
        const int64_t target = now + ms;
        while (true) {
            std::optional<int64_t> due = server.NextDueMs();
            now = due && *due <= target ? std::max(now, *due) : target;
            server.OnTimer(now);
            if (now == target && !(due && *due <= target))
                return;
        }
    }

    // Datagrams sent to this endpoint since the last call, removed from the record.
    std::vector<Sent> TakeFor(const Endpoint& to) {
        std::vector<Sent> mine;
        auto keep = std::stable_partition(sent.begin(), sent.end(),
                                          [&](const Sent& s) { return !(s.to == to); });
        mine.assign(keep, sent.end());
        sent.erase(keep, sent.end());
        return mine;
    }

    std::deque<uint32_t> randoms; // served first; then a fixed sequence
    std::vector<Sent> sent;
    int64_t now = 1000000;
    MatchServer server;

private:
    uint32_t NextRandom() {
        if (!randoms.empty()) {
            uint32_t r = randoms.front();
            randoms.pop_front();
            return r;
        }
        state_ = state_ * 1664525u + 1013904223u;
        return state_;
    }

    void Record(const Endpoint& to, std::span<const uint8_t> d) {
        DatagramView v(d.data(), d.size());
        const int32_t type = v.type();
        static const std::vector<int32_t> kServerTypes = {
            MSG_CONNECT_ACK,       MSG_DISCONNECT_ACK,   MSG_NOTICE,        MSG_SESSION_CLOSED,
            MSG_MATCH_REQUEST_ACK, MSG_MATCH_CANCEL_ACK, MSG_PARTNER_FOUND, MSG_REFUSE_ACK,
            MSG_ACCEPT_ACK,        MSG_TALK_START,       MSG_HANGUP_ACK,    MSG_PEER_HANGUP,
            MSG_TALK_PROBE,        MSG_TALK_TEXT};
        const bool serverType =
            std::find(kServerTypes.begin(), kServerTypes.end(), type) != kServerTypes.end();
        EXPECT_TRUE(serverType) << "server sent type " << type;
        EXPECT_EQ(d.size(), MessageSize(type)) << "type " << type;
        sent.push_back(Sent{to, std::vector<uint8_t>(d.begin(), d.end())});
    }

    uint32_t state_ = 12345;
};

inline std::vector<int32_t> Types(const std::vector<Sent>& sent) {
    std::vector<int32_t> types;
    for (const Sent& s : sent)
        types.push_back(s.type());
    return types;
}

inline int Count(const std::vector<Sent>& sent, int32_t type) {
    return int(
        std::count_if(sent.begin(), sent.end(), [&](const Sent& s) { return s.type() == type; }));
}

inline UserProfile Profile(int32_t sex, uint32_t age, const char* city = "深圳",
                           const char* district = "南山", const char* nickname = "未名") {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, EncodeGbkOrEmpty(nickname));
    p.sex = sex;
    p.age = age;
    CopyToField(p.city, EncodeGbkOrEmpty(city));
    CopyToField(p.district, EncodeGbkOrEmpty(district));
    return p;
}

inline MatchRequirement Want(int32_t sex = SEX_ANY, uint32_t minAge = 0, uint32_t maxAge = 120,
                             const char* city = "", const char* district = "",
                             const char* topic = "谈天说地") {
    MatchRequirement r = EmptyRequirement();
    CopyToField(r.topic, EncodeGbkOrEmpty(topic));
    r.sex = sex;
    r.minAge = minAge;
    r.maxAge = maxAge;
    CopyToField(r.city, EncodeGbkOrEmpty(city));
    CopyToField(r.district, EncodeGbkOrEmpty(district));
    return r;
}

// A client as the tests play it: sends the client's messages and reads what came back.
struct TestClient {
    CoreHarness& h;
    Endpoint ep;
    int32_t session = 0;
    int32_t conversation = 0;

    template <std::size_t N>
    void Send(const DatagramBytes<N>& d) {
        h.Deliver(ep, d);
    }
    void Control(int32_t type) { Send(BuildControl(type, session, conversation)); }
    std::vector<Sent> Inbox() { return h.TakeFor(ep); }

    // Connects, keeps the granted id and proves the address by acknowledging the first notice,
    // as the stock client does; false when refused.
    bool Connect() {
        Send(BuildControl(MSG_CONNECT));
        bool granted = false, noticed = false;
        for (const Sent& s : Inbox()) {
            if (s.type() == MSG_CONNECT_ACK) {
                granted = s.view().connectResult() != 0;
                if (granted)
                    session = s.view().sessionId();
            }
            noticed = noticed || s.type() == MSG_NOTICE;
        }
        if (granted && noticed)
            Control(MSG_NOTICE_ACK);
        return granted;
    }

    void Request(const UserProfile& p, const MatchRequirement& r) {
        Send(BuildMatchRequest(session, p, r));
    }

    // Takes the offer from the inbox, keeps its conversation id and returns the partner's profile.
    std::optional<UserProfile> TakeOffer() {
        for (const Sent& s : Inbox()) {
            if (s.type() == MSG_PARTNER_FOUND) {
                conversation = s.view().conversationId();
                return s.view().partnerProfile();
            }
        }
        return std::nullopt;
    }
};

} // namespace vessaro::test
