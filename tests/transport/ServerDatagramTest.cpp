#include "ServerDatagram.h"
#include "CommEndpoint.h"
#include "MessageLog.h"
#include "Messages.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace std::chrono_literals;
using vessaro::test::Complemented;
using vessaro::test::UdpPeer;

namespace {

// The receive callback of these tests prepares each datagram as the client's does, then keeps
// what would reach the dispatcher.
MessageLog* prepared = nullptr;

int PrepareIntoLog(uint8_t* buffer, int length, const char* address, uint16_t port) {
    if (vessaro::PrepareServerDatagram(buffer, length, address, port))
        prepared->Add(buffer, static_cast<std::size_t>(length));
    return 0;
}

// Prepares a copy of the datagram in a 4096-byte buffer as the receive thread holds it; nothing
// when it is dropped.
std::optional<Bytes> Prepare(const Bytes& plain, const char* address, uint16_t port) {
    Bytes buffer(4096);
    std::copy(plain.begin(), plain.end(), buffer.begin());
    if (!vessaro::PrepareServerDatagram(buffer.data(), static_cast<int>(plain.size()), address,
                                        port))
        return std::nullopt;
    buffer.resize(plain.size());
    return buffer;
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

// What must reach the dispatcher: the datagram with the stamp written over it, cut to its own
// length.
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
        prepared = &log;
        endpoint = vessaro::CommInit(0);
        ASSERT_NE(endpoint, nullptr);
        vessaro::CommSetRecvCallback(endpoint.get(), PrepareIntoLog);
    }
    void TearDown() override {
        vessaro::CommStop(endpoint.get());
        prepared = nullptr;
    }

    // The index-th datagram prepared, once it has arrived.
    std::optional<Bytes> Taken(std::size_t index) {
        if (!log.WaitForCount(index + 1))
            return std::nullopt;
        return log.Messages()[index];
    }

    MessageLog log;
    UdpPeer server;
    std::unique_ptr<vessaro::CommEndpoint> endpoint;
};

} // namespace

TEST_F(ServerDatagramTest, ArrivesWithItsOwnLengthPlainAndStampedWithTheRealSender) {
    std::size_t index = 0;
    for (std::size_t n : {1u, 8u, 16u, 20u, 33u, 34u, 36u, 50u, 560u, 4096u}) {
        SCOPED_TRACE(n);
        Bytes plain = Patterned(n);
        EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(plain)));
        auto got = Taken(index++);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(*got, Stamped(plain, "127.0.0.1", server.port()));
    }
}

TEST_F(ServerDatagramTest, StampKeepsTheBytesAroundItAsReceived) {
    Bytes plain = Patterned(36);
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(plain)));
    auto got = Taken(0);
    ASSERT_TRUE(got.has_value());
    const Bytes& m = *got;
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
    auto got = Taken(0);
    ASSERT_TRUE(got.has_value());
    vessaro::DatagramView view(got->data(), got->size());
    EXPECT_EQ(view.senderAddress(), "127.0.0.1");
    EXPECT_EQ(view.senderPort(), stranger.port());
    EXPECT_EQ(view.sessionId(), 5);
}

TEST_F(ServerDatagramTest, ATickFromTheNetworkIsDropped) {
    auto forgedTick = vessaro::BuildTimerTick(3);
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(forgedTick)));
    Bytes after = Patterned(36);
    EXPECT_TRUE(server.SendTo(endpoint->boundPort, Complemented(after)));
    auto got = Taken(0);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, Stamped(after, "127.0.0.1", server.port()));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.Count(), 1u);
}

TEST(PrepareServerDatagram, DropsTicksOfAnyLengthButNotShorterDatagrams) {
    for (std::size_t n : {8u, 36u, 40u, 4096u})
        EXPECT_FALSE(Prepare(Patterned(n, vessaro::MSG_TIMER), "192.0.2.1", 13366)) << n;
    EXPECT_FALSE(Prepare(Bytes{}, "192.0.2.1", 13366));
    Bytes other = Patterned(7, vessaro::MSG_TIMER); // too short to hold a type: not a tick
    EXPECT_EQ(Prepare(other, "192.0.2.1", 13366), Stamped(other, "192.0.2.1", 13366));
}

// The address field holds 15 characters: an IPv4 text and a short IPv6 one are stamped, a longer
// one is stamped empty rather than cut into an address that is not the sender's.
TEST(PrepareServerDatagram, StampsWhatFitsTheAddressField) {
    struct Row {
        const char* address;
        const char* stamped;
    };
    for (Row row : {Row{"255.255.255.255", "255.255.255.255"}, Row{"::1", "::1"},
                    Row{"2001:db8::1:2:3", "2001:db8::1:2:3"}, Row{"2001:db8::1:2:33", ""},
                    Row{"fe80::1234:5678:9abc%2", ""}}) {
        Bytes probe = Patterned(36);
        EXPECT_EQ(Prepare(probe, row.address, 7), Stamped(probe, row.stamped, 7)) << row.address;
    }
}
