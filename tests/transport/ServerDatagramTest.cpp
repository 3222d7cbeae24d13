#include "CommEndpoint.h"
#include "Messages.h"
#include "QueueFeed.h"
#include "QueueReader.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace std::chrono_literals;
using vessaro::CMsgQueue;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

namespace {

// The receive callback of these tests forwards into the fixture's queue, as the client's does into
// the process-wide one.
CMsgQueue* testQueue = nullptr;

int ForwardToTestQueue(uint8_t* buffer, int length, const char* address, uint16_t port) {
    return vessaro::ForwardServerDatagram(*testQueue, buffer, length, address, port);
}

// A datagram of n bytes whose every byte is distinct from its neighbours, with the given type.
Bytes Patterned(std::size_t n, int32_t type = vessaro::MSG_TALK_PROBE) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(0xA0 + i * 3);
    if (n >= 8)
        std::memcpy(bytes.data() + 4, &type, 4);
    return bytes;
}

// What the queue must hold: the datagram with the stamp written over it, cut to its own length.
Bytes Stamped(const Bytes& plain, const char* address, uint16_t port) {
    Bytes buffer(4096);
    std::copy(plain.begin(), plain.end(), buffer.begin());
    std::size_t n = std::strlen(address);
    std::memcpy(buffer.data() + 16, address, n + 1);
    std::memcpy(buffer.data() + 32, &port, 2);
    buffer.resize(plain.size());
    return buffer;
}

class ServerDatagramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok());
        ASSERT_EQ(queue.Create(), 0);
        testQueue = &queue;
        endpoint = vessaro::CommInit(0);
        ASSERT_NE(endpoint, nullptr);
        vessaro::CommSetRecvCallback(endpoint.get(), ForwardToTestQueue);
    }
    void TearDown() override {
        vessaro::CommStop(endpoint.get());
        testQueue = nullptr;
    }

    CMsgQueue queue;
    UdpPeer server;
    std::unique_ptr<vessaro::CommEndpoint> endpoint;
};

} // namespace

TEST_F(ServerDatagramTest, ArrivesWithItsOwnLengthPlainAndStampedWithTheRealSender) {
    for (std::size_t n : {1u, 8u, 16u, 20u, 33u, 34u, 36u, 50u, 560u, 4096u}) {
        SCOPED_TRACE(n);
        Bytes plain = Patterned(n);
        EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(plain)));
        auto queued = TakeFromQueue(queue);
        ASSERT_TRUE(queued.has_value());
        EXPECT_EQ(*queued, Stamped(plain, "127.0.0.1", server.port()));
    }
}

TEST_F(ServerDatagramTest, StampKeepsTheBytesAroundItAsReceived) {
    Bytes plain = Patterned(36);
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(plain)));
    auto queued = TakeFromQueue(queue);
    ASSERT_TRUE(queued.has_value());
    const Bytes& m = *queued;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m[16])), "127.0.0.1");
    EXPECT_EQ(m[25], 0);
    EXPECT_EQ(Bytes(m.begin() + 26, m.begin() + 32), Bytes(plain.begin() + 26, plain.begin() + 32));
    uint16_t port;
    std::memcpy(&port, &m[32], 2);
    EXPECT_EQ(port, server.port());
    EXPECT_EQ(m[34], plain[34]);
    EXPECT_EQ(m[35], plain[35]);
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 16), Bytes(plain.begin(), plain.begin() + 16));
}

TEST_F(ServerDatagramTest, WhatTheSenderPutInTheStampFieldsIsReplaced) {
    auto forged = vessaro::BuildControl(vessaro::MSG_TALK_PROBE, 5, 6);
    std::memcpy(forged.data() + 16, "10.9.8.7", 9);
    uint16_t forgedPort = 1;
    std::memcpy(forged.data() + 32, &forgedPort, 2);
    UdpPeer stranger;
    EXPECT_TRUE(stranger.SendTo(endpoint->boundPort, Complemented(forged)));
    auto queued = TakeFromQueue(queue);
    ASSERT_TRUE(queued.has_value());
    vessaro::DatagramView view(queued->data(), queued->size());
    EXPECT_EQ(view.senderAddress(), "127.0.0.1");
    EXPECT_EQ(view.senderPort(), stranger.port());
    EXPECT_EQ(view.sessionId(), 5);
}

TEST_F(ServerDatagramTest, ATickFromTheNetworkIsDropped) {
    auto forgedTick = vessaro::BuildTimerTick(3);
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(forgedTick)));
    Bytes after = Patterned(36);
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(after)));
    auto queued = TakeFromQueue(queue);
    ASSERT_TRUE(queued.has_value());
    EXPECT_EQ(*queued, Stamped(after, "127.0.0.1", server.port()));
    EXPECT_FALSE(TakeFromQueue(queue, 100ms).has_value());
}

TEST(ForwardServerDatagram, DropsTicksOfAnyLengthAndForwardsOtherTypes) {
    CMsgQueue queue;
    ASSERT_EQ(queue.Create(), 0);
    for (std::size_t n : {8u, 36u, 40u, 4096u}) {
        SCOPED_TRACE(n);
        Bytes buffer(4096);
        Bytes tick = Patterned(n, vessaro::MSG_TIMER);
        std::copy(tick.begin(), tick.end(), buffer.begin());
        EXPECT_EQ(vessaro::ForwardServerDatagram(queue, buffer.data(), static_cast<int>(n),
                                                 "192.0.2.1", 13366),
                  0);
    }
    Bytes buffer(4096);
    Bytes other = Patterned(7, vessaro::MSG_TIMER); // too short to hold a type: not a tick
    std::copy(other.begin(), other.end(), buffer.begin());
    EXPECT_EQ(vessaro::ForwardServerDatagram(queue, buffer.data(), 7, "192.0.2.1", 13366), 7);
    EXPECT_EQ(TakeFromQueue(queue), Stamped(other, "192.0.2.1", 13366));
    EXPECT_FALSE(TakeFromQueue(queue, 100ms).has_value());
}

// The address field holds 15 characters: an IPv4 text and a short IPv6 one are stamped, a longer
// one is stamped empty rather than cut into an address that is not the sender's.
TEST(ForwardServerDatagram, StampsWhatFitsTheAddressField) {
    CMsgQueue queue;
    ASSERT_EQ(queue.Create(), 0);
    struct Row {
        const char* address;
        const char* stamped;
    };
    for (Row row : {Row{"255.255.255.255", "255.255.255.255"}, Row{"::1", "::1"},
                    Row{"2001:db8::1:2:3", "2001:db8::1:2:3"}, Row{"2001:db8::1:2:33", ""},
                    Row{"fe80::1234:5678:9abc%2", ""}}) {
        Bytes buffer(4096);
        Bytes probe = Patterned(36);
        std::copy(probe.begin(), probe.end(), buffer.begin());
        EXPECT_EQ(vessaro::ForwardServerDatagram(queue, buffer.data(), 36, row.address, 7), 36);
        EXPECT_EQ(TakeFromQueue(queue), Stamped(probe, row.stamped, 7)) << row.address;
    }
}

TEST(PutTimerTick, QueuesTheFortyByteTickUncomplemented) {
    CMsgQueue queue;
    ASSERT_EQ(queue.Create(), 0);
    EXPECT_EQ(vessaro::PutTimerTick(queue, 0x0A0B0C0D), 40);
    auto tick = TakeFromQueue(queue);
    ASSERT_TRUE(tick.has_value());
    Bytes expected(40, 0);
    expected[0] = 3;
    expected[4] = 26;
    uint32_t tag = 0x0A0B0C0D;
    std::memcpy(expected.data() + 36, &tag, 4);
    EXPECT_EQ(*tick, expected);
}
