// Address texts to socket addresses and back, and host look-up, for both kinds of socket.
#include "SocketAddress.h"

#include <gtest/gtest.h>

#include <netinet/in.h>

namespace {

TEST(SocketAddress, ParseThenFormatGivesTheCanonicalTextOrARefusal) {
    struct Row {
        const char* text;
        int family;          // of the socket that sends
        const char* printed; // nullptr: refused
    };
    for (Row row : {Row{"127.0.0.1", AF_INET, "127.0.0.1"},
                    Row{"192.0.2.200", AF_INET6, "192.0.2.200"}, // sent as ::ffff:192.0.2.200
                    Row{"::ffff:192.0.2.1", AF_INET6, "192.0.2.1"},
                    Row{"2001:DB8:0:0::7", AF_INET6, "2001:db8::7"},
                    Row{"fe80::1%1", AF_INET6, "fe80::1%1"}, Row{"::1", AF_INET, nullptr},
                    Row{"", AF_INET6, nullptr}, Row{"256.1.1.1", AF_INET6, nullptr},
                    Row{"example.org", AF_INET6, nullptr}, Row{"fe80::1%", AF_INET6, nullptr},
                    Row{"fe80::1%no-such-if", AF_INET6, nullptr}, Row{"::1 ", AF_INET6, nullptr}}) {
        auto parsed = vessaro::ParseSocketAddress(row.text, 13366, row.family);
        ASSERT_EQ(parsed.has_value(), row.printed != nullptr) << row.text;
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->get()->sa_family, row.family) << row.text;
        char text[vessaro::kAddressTextSize];
        uint16_t port = 0;
        ASSERT_TRUE(vessaro::FormatSocketAddress(parsed->get(), text, sizeof text, &port));
        EXPECT_STREQ(text, row.printed);
        EXPECT_EQ(port, 13366);
        EXPECT_FALSE(vessaro::FormatSocketAddress(parsed->get(), text, 4)) << "does not fit";
    }
}

// Host names and numeric addresses of either kind; an IPv4-only socket never gets an IPv6 one.
TEST(SocketAddress, LookUpHostNamesAndAddressesOfBothKinds) {
    auto localhost = vessaro::LookUpHost("localhost", AF_INET6);
    ASSERT_TRUE(localhost.has_value());
    EXPECT_TRUE(*localhost == "127.0.0.1" || *localhost == "::1") << *localhost;
    EXPECT_EQ(vessaro::LookUpHost("localhost", AF_INET), "127.0.0.1");
    EXPECT_EQ(vessaro::LookUpHost("::ffff:127.0.0.1", AF_INET6), "127.0.0.1");
    EXPECT_EQ(vessaro::LookUpHost("::1", AF_INET6), "::1");
    EXPECT_EQ(vessaro::LookUpHost("::1", AF_INET), std::nullopt);
    EXPECT_EQ(vessaro::LookUpHost("no such host", AF_INET6), std::nullopt);
    EXPECT_EQ(vessaro::LookUpHost("", AF_INET6), std::nullopt);
}

} // namespace
