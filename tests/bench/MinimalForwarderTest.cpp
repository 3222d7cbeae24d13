#include "MinimalForwarder.h"
#include "DatagramBatch.h"
#include "Placement.h"

#include <array>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace vessaro::bench {
namespace {

std::optional<std::vector<uint8_t>> ReceiveWithin(const UdpSocket& s, int ms) {
    if (!s.WaitReadable(ms))
        return std::nullopt;
    std::array<uint8_t, 4096> buffer;
    std::optional<std::size_t> n = s.Receive(buffer);
    if (!n)
        return std::nullopt;
    return std::vector<uint8_t>(buffer.begin(), buffer.begin() + long(*n));
}

// The count is raised just after the send, so a receiver may see the datagram first.
uint64_t ForwardedSoon(const MinimalForwarder& forwarder, uint64_t expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (forwarder.forwarded() < expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return forwarder.forwarded();
}

TEST(BenchMinimalForwarderTest, CarriesEachDatagramUnchangedToThePartnerBothWays) {
    MinimalForwarder forwarder;
    UdpSocket a, b;
    forwarder.AddPair(a.local(), b.local());
    ASSERT_TRUE(forwarder.Start(Placement::Choose().measured));
    const std::vector<uint8_t> hello{1, 2, 3, 0xFF, 0};
    ASSERT_TRUE(a.SendTo(forwarder.address(), hello));
    EXPECT_EQ(ReceiveWithin(b, 5000), hello);
    const std::vector<uint8_t> reply(560, 0xAB);
    ASSERT_TRUE(b.SendTo(forwarder.address(), reply));
    EXPECT_EQ(ReceiveWithin(a, 5000), reply);
    EXPECT_EQ(ForwardedSoon(forwarder, 2), 2u);
}

TEST(BenchMinimalForwarderTest, DropsDatagramsOfAddressesWithoutAPartner) {
    MinimalForwarder forwarder;
    UdpSocket a, b, stranger;
    forwarder.AddPair(a.local(), b.local());
    ASSERT_TRUE(forwarder.Start(Placement::Choose().measured));
    ASSERT_TRUE(stranger.SendTo(forwarder.address(), std::vector<uint8_t>{9}));
    // The pair's own datagram, sent after the stranger's, is the first thing b sees.
    ASSERT_TRUE(a.SendTo(forwarder.address(), std::vector<uint8_t>{7}));
    EXPECT_EQ(ReceiveWithin(b, 5000), std::vector<uint8_t>{7});
    EXPECT_FALSE(ReceiveWithin(a, 100));
    EXPECT_FALSE(ReceiveWithin(stranger, 100));
    EXPECT_EQ(ForwardedSoon(forwarder, 1), 1u);
}

// More than one batch at once: every datagram arrives, in order, and the strangers' among them
// are left out without taking a partner's place.
TEST(BenchMinimalForwarderTest, CarriesBurstsLongerThanABatchInOrder) {
    MinimalForwarder forwarder;
    UdpSocket a, b, stranger;
    forwarder.AddPair(a.local(), b.local());
    ASSERT_TRUE(forwarder.Start(Placement::Choose().measured));
    constexpr int kCount = 3 * DatagramBatch::kCapacity + 5;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(a.SendTo(forwarder.address(), std::vector<uint8_t>{uint8_t(i), 1}));
        if (i % 7 == 0) {
            ASSERT_TRUE(stranger.SendTo(forwarder.address(), std::vector<uint8_t>{0xEE}));
        }
    }
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(ReceiveWithin(b, 5000), (std::vector<uint8_t>{uint8_t(i), 1})) << i;
    EXPECT_EQ(ForwardedSoon(forwarder, kCount), uint64_t(kCount));
}

TEST(BenchUdpSocketTest, BindsFurtherLoopbackAddresses) {
    UdpSocket second(LoopbackAddress(1));
    ASSERT_TRUE(second.valid());
    EXPECT_EQ(second.local().address, 0x7F000002u);
    UdpSocket first;
    ASSERT_TRUE(first.SendTo(second.local(), std::vector<uint8_t>{42}));
    EXPECT_EQ(ReceiveWithin(second, 5000), std::vector<uint8_t>{42});
}

} // namespace
} // namespace vessaro::bench
