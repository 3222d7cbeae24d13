// Address texts to socket addresses and back, for both kinds of endpoint socket.
#include "SocketAddress.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <netinet/in.h>
#include <string>

namespace {

struct AddressRow {
    const char* text;
    int family;          // of the socket that sends
    const char* printed; // nullptr: refused
};

class AddressRows : public ::testing::TestWithParam<AddressRow> {};

TEST_P(AddressRows, ParseThenFormatGivesTheCanonicalTextOrARefusal) {
    const AddressRow& row = GetParam();
    auto parsed = vessaro::ParseSocketAddress(row.text, 13366, row.family);
    if (!row.printed) {
        EXPECT_FALSE(parsed.has_value());
        return;
    }
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->get()->sa_family, row.family);
    char text[vessaro::kAddressTextSize];
    uint16_t port = 0;
    ASSERT_TRUE(vessaro::FormatSocketAddress(parsed->get(), text, sizeof text, &port));
    EXPECT_STREQ(text, row.printed);
    EXPECT_EQ(port, 13366);
}

INSTANTIATE_TEST_SUITE_P(
    SocketAddress, AddressRows,
    ::testing::Values(
        AddressRow{"127.0.0.1", AF_INET, "127.0.0.1"},
        AddressRow{"192.0.2.200", AF_INET6, "192.0.2.200"}, // through ::ffff:
        AddressRow{"::ffff:192.0.2.1", AF_INET6, "192.0.2.1"},
        AddressRow{"2001:DB8:0:0::7", AF_INET6, "2001:db8::7"}, AddressRow{"::1", AF_INET6, "::1"},
        AddressRow{"fe80::1%1", AF_INET6, "fe80::1%1"}, AddressRow{"::1", AF_INET, nullptr},
        AddressRow{"", AF_INET6, nullptr}, AddressRow{"1.2.3", AF_INET6, nullptr},
        AddressRow{"256.1.1.1", AF_INET, nullptr}, AddressRow{"example.org", AF_INET6, nullptr},
        AddressRow{"fe80::1%", AF_INET6, nullptr},
        AddressRow{"fe80::1%no-such-interface", AF_INET6, nullptr},
        AddressRow{"::1 ", AF_INET6, nullptr}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

TEST(SocketAddress, InterfaceNamesBecomeTheirNumbers) {
    unsigned loopback = if_nametoindex("lo");
    if (loopback == 0)
        GTEST_SKIP() << "no interface named lo";
    auto parsed = vessaro::ParseSocketAddress("fe80::2%lo", 1, AF_INET6);
    ASSERT_TRUE(parsed.has_value());
    char text[vessaro::kAddressTextSize];
    ASSERT_TRUE(vessaro::FormatSocketAddress(parsed->get(), text, sizeof text));
    EXPECT_EQ(std::string(text), "fe80::2%" + std::to_string(loopback));
}

TEST(SocketAddress, FormatRefusesOtherFamiliesAndShortBuffers) {
    sockaddr_storage unix{};
    unix.ss_family = AF_UNIX;
    char text[vessaro::kAddressTextSize];
    EXPECT_FALSE(vessaro::FormatSocketAddress(reinterpret_cast<sockaddr*>(&unix), text, 64));
    auto parsed = vessaro::ParseSocketAddress("2001:db8::1234:5678", 1, AF_INET6);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_FALSE(vessaro::FormatSocketAddress(parsed->get(), text, 8));
}

// Host names and numeric addresses of either kind; an IPv4-only socket never gets an IPv6 one.
TEST(LookUpHost, NamesAndAddressesOfBothKinds) {
    auto localhost = vessaro::LookUpHost("localhost", AF_INET6);
    ASSERT_TRUE(localhost.has_value());
    EXPECT_TRUE(*localhost == "127.0.0.1" || *localhost == "::1") << *localhost;
    EXPECT_EQ(vessaro::LookUpHost("localhost", AF_INET), "127.0.0.1");
    EXPECT_EQ(vessaro::LookUpHost("127.0.0.1", AF_INET6), "127.0.0.1");
    EXPECT_EQ(vessaro::LookUpHost("::ffff:127.0.0.1", AF_INET6), "127.0.0.1");
    EXPECT_EQ(vessaro::LookUpHost("::1", AF_INET6), "::1");
    EXPECT_EQ(vessaro::LookUpHost("::1", AF_INET), std::nullopt);
    EXPECT_EQ(vessaro::LookUpHost("no such host", AF_INET6), std::nullopt);
    EXPECT_EQ(vessaro::LookUpHost("", AF_INET6), std::nullopt);
    EXPECT_EQ(vessaro::LookUpHost(nullptr, AF_INET6), std::nullopt);
}

} // namespace
