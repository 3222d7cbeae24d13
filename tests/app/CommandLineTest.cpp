// The desktop client's own options and the server address as users write it.
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace vessaro {
namespace {

TEST(ServerAddressTest, AcceptsHostsAndPortsAndRefusesTheRest) {
    const struct {
        const char* written;
        const char* host; // null: refused
        uint16_t port;
        ServerAddressError error;
    } cases[] = {
        {"chat.example.org", "chat.example.org", 13366, {}},
        {"  localhost:4000 ", "localhost", 4000, {}},
        {"192.0.2.7:1", "192.0.2.7", 1, {}},
        {"[::1]:65535", "::1", 65535, {}},
        {"[2001:db8::5]", "2001:db8::5", 13366, {}},
        {"::1", "::1", 13366, {}},
        {"例子.中国:80", "xn--fsqu00a.xn--fiqs8s", 80, {}},
        {"", nullptr, 0, ServerAddressError::kEmpty},
        {"host:0", nullptr, 0, ServerAddressError::kBadPort},
        {"host:65536", nullptr, 0, ServerAddressError::kBadPort},
        {"host:+80", nullptr, 0, ServerAddressError::kBadPort},
        {"host:8o", nullptr, 0, ServerAddressError::kBadPort},
        {"[::1]:x", nullptr, 0, ServerAddressError::kBadPort},
        {":80", nullptr, 0, ServerAddressError::kBadHost},
        {"bad host", nullptr, 0, ServerAddressError::kBadHost},
        {"a..b", nullptr, 0, ServerAddressError::kBadHost},
        {"999.1.1.1", nullptr, 0, ServerAddressError::kBadHost},
        {"[::1", nullptr, 0, ServerAddressError::kBadHost},
        {"[example.org]:80", nullptr, 0, ServerAddressError::kBadHost},
        {"fe80::1%eth0", nullptr, 0, ServerAddressError::kBadHost},
        {"x\n:80", nullptr, 0, ServerAddressError::kBadHost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const ServerAddressResult result = ParseServerAddress(QString::fromUtf8(c.written), 13366);
        if (!c.host) {
            EXPECT_FALSE(result.address);
            EXPECT_EQ(result.error, c.error);
            continue;
        }
        ASSERT_TRUE(result.address);
        EXPECT_EQ(result.address->host, QString::fromUtf8(c.host));
        EXPECT_EQ(result.address->port, c.port);
        // What is shown again reads back to the same server.
        const auto again =
            ParseServerAddress(FormatServerAddress(result.address->host, result.address->port), 1);
        ASSERT_TRUE(again.address);
        EXPECT_EQ(again.address->host, result.address->host);
        EXPECT_EQ(again.address->port, result.address->port);
    }
}

TEST(CommandLineTest, ProgramOptionsAreTakenAndQtsAreLeft) {
    std::vector<std::string> args{"-platform",      "offscreen", "--server=[::1]:4000",
                                  "--new-instance", "--profile", "second_1"};
    DesktopOptions options;
    EXPECT_FALSE(TakeProgramOptions(args, options).exit);
    EXPECT_EQ(args, (std::vector<std::string>{"-platform", "offscreen"}));
    ASSERT_TRUE(options.server);
    EXPECT_EQ(options.server->host, QStringLiteral("::1"));
    EXPECT_EQ(options.server->port, 4000);
    EXPECT_EQ(options.profile, QStringLiteral("second_1"));
    EXPECT_TRUE(options.newInstance);
}

TEST(CommandLineTest, BadValuesEndWithStatusTwoAndSayWhy) {
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"--server"}, "--server needs a value"},
        {{"--server="}, "--server needs HOST[:PORT]"},
        {{"--server", "bad:99999"}, "bad port"},
        {{"--server", "no host"}, "bad host"},
        {{"--profile", ""}, "bad --profile"},
        {{"--profile", "../etc"}, "bad --profile"},
        {{"--profile", std::string(33, 'a')}, "bad --profile"},
        {{"--profile=名字"}, "bad --profile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        std::vector<std::string> args = c.args;
        DesktopOptions options;
        const CommandLineOutcome outcome = TakeProgramOptions(args, options);
        EXPECT_TRUE(outcome.exit);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.output.find(c.said), std::string::npos) << outcome.output;
        EXPECT_FALSE(options.server);
    }
    EXPECT_TRUE(IsValidProfileName(std::string(32, 'Z')));
}

TEST(CommandLineTest, HelpNamesEveryOption) {
    const std::string help = InfoOptions({"--help"}).output;
    for (const char* option : {"--help", "--version", "--server", "--profile", "--new-instance"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(WebAddressTest, EmptyFollowsTheServerAndOnlyWebAddressesAreKept) {
    const struct {
        const char* written;
        const char* kept; // null: refused
    } cases[] = {
        {"", ""},
        {"http://pages.example.org/", "http://pages.example.org"},
        {"https://[::1]:8443/site//", "https://[::1]:8443/site"},
        {"ftp://pages.example.org", nullptr},
        {"javascript:alert(1)", nullptr},
        {"http://pages.example.org/?q=1", nullptr},
        {"http://bad host/", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const std::optional<QString> kept = NormalizeWebUrl(QString::fromUtf8(c.written));
        if (!c.kept)
            EXPECT_FALSE(kept);
        else
            EXPECT_EQ(kept, QString::fromUtf8(c.kept));
    }
}

} // namespace
} // namespace vessaro
