#include "cluster/NodeMessage.h"
#include "Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace vessaro::cluster {
namespace {

using Kind = NodeMessage::Kind;

NodeMessage Sample(Kind kind) {
    NodeMessage m;
    m.kind = kind;
    const bool claim = kind == Kind::Claim || kind == Kind::Refuse;
    m.conversationId = claim ? 0 : -123456789;
    m.from = 0x12345678;
    m.to = -2;
    m.arrival = claim ? 0x0102030405060708ull : 0;
    m.records.fill(0x5A);
    m.profile.age = 33;
    const auto text = BuildTalkText(5, 6, 7, MakeTalkText("hello"));
    std::copy(text.begin(), text.end(), m.text.begin());
    return m;
}

// Read back and written again, every kind gives the same bytes.
TEST(NodeMessage, EveryKindReadsBackAsWritten) {
    for (Kind kind :
         {Kind::Claim, Kind::Grant, Kind::Refuse, Kind::Accepted, Kind::Text, Kind::End}) {
        const std::vector<uint8_t> bytes = EncodeNodeMessage(Sample(kind));
        const NodeMessageParse got = ParseNodeMessage(bytes);
        ASSERT_TRUE(got.ok()) << int(kind) << ": " << got.error;
        EXPECT_EQ(got.message.kind, kind);
        EXPECT_EQ(EncodeNodeMessage(got.message), bytes) << int(kind);
    }
}

// Every damaged message is refused with a reason, never read as something else.
TEST(NodeMessage, DamagedBytesAreRefused) {
    using Damage = std::function<void(std::vector<uint8_t>&)>;
    const struct {
        const char* name;
        Kind kind;
        Damage damage;
    } cases[] = {
        {"empty", Kind::End, [](auto& b) { b.clear(); }},
        {"header cut short", Kind::End, [](auto& b) { b.resize(23); }},
        {"body cut short", Kind::Claim, [](auto& b) { b.pop_back(); }},
        {"body too long", Kind::Grant, [](auto& b) { b.push_back(0); }},
        {"body on a kind without one", Kind::End, [](auto& b) { b.resize(b.size() + 392); }},
        {"another version", Kind::End, [](auto& b) { b[0] = 2; }},
        {"kind zero", Kind::End, [](auto& b) { b[1] = 0; }},
        {"unknown kind", Kind::End, [](auto& b) { b[1] = 7; }},
        {"reserved bytes set", Kind::Accepted, [](auto& b) { b[3] = 1; }},
        {"no sender's user", Kind::Text, [](auto& b) { std::fill(&b[8], &b[12], 0); }},
        {"no receiver's user", Kind::Text, [](auto& b) { std::fill(&b[12], &b[16], 0); }},
        {"claim with a conversation", Kind::Claim, [](auto& b) { b[4] = 1; }},
        {"claim without an arrival", Kind::Claim, [](auto& b) { std::fill(&b[16], &b[24], 0); }},
        {"end without a conversation", Kind::End, [](auto& b) { std::fill(&b[4], &b[8], 0); }},
        {"end with an arrival", Kind::End, [](auto& b) { b[20] = 1; }},
        {"text that is a connect", Kind::Text, [](auto& b) { b[24 + 4] = MSG_CONNECT; }},
        {"text of another sub-kind", Kind::Text, [](auto& b) { b[24 + 36] = 3; }},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = EncodeNodeMessage(Sample(c.kind));
        c.damage(bytes);
        const NodeMessageParse got = ParseNodeMessage(bytes);
        EXPECT_FALSE(got.ok()) << c.name;
    }
}

// Bytes changed at random are either refused or read as a message that writes back to exactly
// those bytes: nothing is read past its end or left out.
TEST(NodeMessage, AnythingReadIsExactlyWhatWasSent) {
    std::mt19937 random(17);
    for (int round = 0; round < 5000; ++round) {
        std::vector<uint8_t> bytes = EncodeNodeMessage(Sample(Kind(1 + random() % 6)));
        for (int flips = 1 + random() % 3; flips > 0; --flips)
            bytes[random() % std::min<std::size_t>(bytes.size(), 64)] ^=
                uint8_t(1 + random() % 255);
        if (random() % 4 == 0)
            bytes.resize(random() % (bytes.size() + 8));
        const NodeMessageParse got = ParseNodeMessage(bytes);
        if (got.ok()) {
            EXPECT_EQ(EncodeNodeMessage(got.message), bytes) << "round " << round;
        }
    }
}

} // namespace
} // namespace vessaro::cluster
