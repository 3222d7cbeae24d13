#include "Messages.h"
#include "ByteOrder.h"
#include "Codec.h"
#include "WireTransform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace vessaro;

namespace {

TEST(Messages, ConnectIsProtocolOneTypeOneAndZeros) {
    auto m = BuildControl(MSG_CONNECT);
    std::vector<uint8_t> expected(36, 0);
    expected[0] = 1;
    expected[4] = 1;
    EXPECT_EQ(std::vector<uint8_t>(m.begin(), m.end()), expected);

    std::vector<uint8_t> wire(36);
    CommInvertBytes(m.data(), wire.data(), 36);
    std::vector<uint8_t> expectedWire(36, 0xFF);
    expectedWire[0] = 0xFE;
    expectedWire[4] = 0xFE;
    EXPECT_EQ(wire, expectedWire);
}

TEST(Messages, WireTransformComplementsInPlaceAndBack) {
    uint8_t bytes[] = {0x00, 0xFF, 0x41};
    CommInvertBytes(bytes, bytes, 3);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0xBE);
    CommInvertBytes(bytes, bytes, 3);
    EXPECT_EQ(bytes[2], 0x41);
    EXPECT_EQ(CommInvertBytes(bytes, bytes, -5), 0);
    EXPECT_EQ(bytes[0], 0x00);
}

TEST(Messages, ControlMessagesCarryTheirProtocolAndIds) {
    struct Case {
        int32_t type;
        int32_t protocol;
    } cases[] = {{MSG_DISCONNECT, PROTO_SESSION},   {MSG_NOTICE_ACK, PROTO_SESSION},
                 {MSG_MATCH_CANCEL, PROTO_SESSION}, {MSG_PARTNER_FOUND_ACK, PROTO_TALK},
                 {MSG_REFUSE, PROTO_TALK},          {MSG_ACCEPT, PROTO_TALK},
                 {MSG_TALK_START_ACK, PROTO_TALK},  {MSG_HANGUP, PROTO_TALK},
                 {MSG_PEER_HANGUP_ACK, PROTO_TALK}, {MSG_TALK_PROBE_ACK, PROTO_TALK}};
    for (const Case& c : cases) {
        auto m = BuildControl(c.type, -7, 0x12345678);
        DatagramView v(m.data(), m.size());
        EXPECT_EQ(v.protocol(), c.protocol) << c.type;
        EXPECT_EQ(v.type(), c.type);
        EXPECT_EQ(v.sessionId(), -7);
        EXPECT_EQ(v.conversationId(), 0x12345678);
        EXPECT_EQ(m[12], 0x78); // little-endian
        EXPECT_TRUE(v.complete());
    }
}

TEST(Messages, MatchRequestCarriesBothRecordsByteForByte) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, "me");
    p.age = 33;
    MatchRequirement r = EmptyRequirement();
    CopyToField(r.topic, "t");
    r.maxAge = 40;
    auto m = BuildMatchRequest(99, p, r);
    static_assert(sizeof(m) == 632);
    DatagramView v(m.data(), m.size());
    EXPECT_EQ(v.sessionId(), 99);
    EXPECT_EQ(std::memcmp(m.data() + 36 + 64, "me", 3), 0);
    EXPECT_EQ(LoadU32(m.data() + 36 + 132), 33u);
    EXPECT_EQ(LoadU32(m.data() + 428 + 72), 40u);
    UserProfile back = v.requestProfile();
    EXPECT_EQ(std::memcmp(&back, &p, sizeof p), 0);
    EXPECT_EQ(v.requestRequirement().maxAge, 40u);
}

TEST(Messages, TalkTextAndItsAcknowledgement) {
    TalkText t = MakeTalkText(EncodeGbk("你好").value(), 5);
    auto text = BuildTalkText(1, 2, 0xFFFFFFFFu, t);
    DatagramView v(text.data(), text.size());
    EXPECT_EQ(v.protocol(), PROTO_TALK_DATA);
    EXPECT_EQ(v.talkSubKind(), TALK_TEXT);
    EXPECT_EQ(v.talkSequence(), 0xFFFFFFFFu);
    EXPECT_EQ(v.talkPackType(), 5);
    EXPECT_EQ(FieldText(v.talkText().text), EncodeGbk("你好").value());

    auto ack = BuildTalkAck(1, 2, 77, 5);
    static_assert(sizeof(ack) == 560);
    DatagramView a(ack.data(), ack.size());
    EXPECT_EQ(a.talkSubKind(), TALK_ACK);
    EXPECT_EQ(a.talkSequence(), 77u);
    EXPECT_EQ(a.talkPackType(), 5);
    for (std::size_t i = 48; i < 560; ++i)
        ASSERT_EQ(ack[i], 0) << i;
}

TEST(Messages, TimerTickIsFortyBytesWithTheTag) {
    auto m = BuildTimerTick(11);
    static_assert(sizeof(m) == 40);
    EXPECT_EQ(LoadI32(m.data()), PROTO_LOCAL);
    EXPECT_EQ(LoadI32(m.data() + 4), MSG_TIMER);
    for (std::size_t i = 8; i < 36; ++i)
        EXPECT_EQ(m[i], 0);
    EXPECT_EQ(DatagramView(m.data(), m.size()).timerTag(), 11u);
}

TEST(Messages, ViewReadsZeroBeyondTheReceivedLength) {
    auto m = BuildConnectAck(42, 1);
    DatagramView shortView(m.data(), 38);
    EXPECT_FALSE(shortView.complete());
    EXPECT_EQ(shortView.connectResult(), 0);
    EXPECT_EQ(shortView.sessionId(), 42);
    DatagramView tiny(m.data(), 6);
    EXPECT_EQ(tiny.type(), 0);
    EXPECT_EQ(tiny.sessionId(), 0);
    EXPECT_EQ(tiny.senderAddress(), "");

    auto data = BuildTalkData(1, 2, std::vector<uint8_t>(100, 7));
    EXPECT_EQ(DatagramView(data.data(), 36 + 10).talkData().size(), 0u); // no length field
    EXPECT_EQ(DatagramView(data.data(), data.size()).talkData().size(), 100u);
}

TEST(Messages, SanitizeDropsEveryShortMessage) {
    for (int32_t type = 0; type <= 30; ++type) {
        std::size_t size = MessageSize(type) == 0 ? kHeaderSize : MessageSize(type);
        std::vector<uint8_t> buffer(kMaxDatagramSize, 0);
        StoreI32(buffer.data() + 4, type);
        EXPECT_TRUE(SanitizeReceived(buffer.data(), size)) << type;
        EXPECT_FALSE(SanitizeReceived(buffer.data(), size - 1)) << type;
        EXPECT_FALSE(SanitizeReceived(buffer.data(), 0)) << type;
    }
}

TEST(Messages, SanitizeTerminatesTextsAndClampsDataLength) {
    std::vector<uint8_t> notice(296, 'x');
    StoreI32(notice.data() + 4, MSG_NOTICE);
    ASSERT_TRUE(SanitizeReceived(notice.data(), notice.size()));
    EXPECT_EQ(DatagramView(notice.data(), notice.size()).noticeText().size(), 255u);

    std::vector<uint8_t> text(560, 'y');
    StoreI32(text.data() + 4, MSG_TALK_TEXT);
    ASSERT_TRUE(SanitizeReceived(text.data(), text.size()));
    EXPECT_EQ(text[559], 0);
    EXPECT_EQ(FieldText(DatagramView(text.data(), text.size()).talkText().text).size(), 511u);

    for (auto [length, expected] : {std::pair{100000, 512}, {-3, 0}, {512, 512}, {0, 0}}) {
        auto data = BuildTalkData(1, 2, {});
        StoreI32(data.data() + 548, length);
        ASSERT_TRUE(SanitizeReceived(data.data(), data.size()));
        EXPECT_EQ(DatagramView(data.data(), data.size()).dataLength(), expected) << length;
    }
}

TEST(Messages, StampingWritesTheRealSender) {
    std::vector<uint8_t> buffer(kMaxDatagramSize, 0xAB);
    StampSender(buffer.data(), "10.0.0.1", 13366);
    DatagramView v(buffer.data(), kHeaderSize);
    EXPECT_EQ(v.senderAddress(), "10.0.0.1");
    EXPECT_EQ(v.senderPort(), 13366);
    EXPECT_EQ(buffer[16 + 8], 0);
    EXPECT_EQ(buffer[16 + 9], 0xAB); // bytes after the terminator keep their values
    EXPECT_EQ(buffer[34], 0xAB);
    EXPECT_EQ(buffer[35], 0xAB);

    StampSender(buffer.data(), "255.255.255.255", 1);
    EXPECT_EQ(DatagramView(buffer.data(), kHeaderSize).senderAddress(), "255.255.255.255");
    EXPECT_EQ(buffer[31], 0);
}

} // namespace
