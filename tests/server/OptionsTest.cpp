#include "BindAddress.h"
#include "ConfigPaths.h"
#include "NoticeAddress.h"
#include "ServerOptions.h"
#include "ServerPlan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>

namespace vessaro {
namespace {

namespace fs = std::filesystem;

class TempFile {
public:
    explicit TempFile(const std::string& text, std::optional<fs::perms> mode = std::nullopt)
        : path_(fs::temp_directory_path() / ("vessaro-options-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(next_++) + ".toml")) {
        std::ofstream(path_) << text;
        if (mode)
            fs::permissions(path_, *mode);
    }
    ~TempFile() { fs::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    static inline int next_ = 0;
    fs::path path_;
};

ParseResult Parse(std::vector<std::string> args, const Environment& env, ServerOptions& out,
                  const std::string& defaultConfig = "") {
    return ParseServerOptions(args, env, defaultConfig, out);
}

TEST(ServerOptions, CommandLineBeatsEnvironmentBeatsFileBeatsDefaults) {
    TempFile file("port = 1001\nnotice-interval = 3\n");
    struct Case {
        bool inFile, inEnv, onLine;
        uint16_t port;
    } cases[] = {
        {false, false, false, 13366}, {true, false, false, 1001}, {true, true, false, 2002},
        {true, true, true, 3003},     {false, true, false, 2002}, {true, false, true, 3003},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args;
        if (c.inFile)
            args = {"--config", file.path()};
        if (c.onLine)
            args.insert(args.end(), {"--port", "3003"});
        Environment env;
        if (c.inEnv)
            env["VESSARO_PORT"] = "2002";
        ServerOptions o;
        ParseResult r = Parse(args, env, o);
        ASSERT_EQ(r.kind, ParseResult::Run) << r.message;
        EXPECT_EQ(o.port, c.port) << c.inFile << c.inEnv << c.onLine;
        EXPECT_EQ(o.noticeInterval, c.inFile ? 3.0 : 10.0); // untouched by the others
    }
}

TEST(ServerOptions, DefaultFileIsReadOnlyWhenPresentAndVariablesNameOthers) {
    TempFile file("max-sessions = 7\n");
    ServerOptions o;
    ASSERT_EQ(Parse({}, {}, o, file.path()).kind, ParseResult::Run);
    EXPECT_EQ(o.maxSessions, 7u);
    EXPECT_EQ(o.config, file.path());
    ASSERT_EQ(Parse({}, {}, o, "/nonexistent/server.toml").kind, ParseResult::Run);
    EXPECT_EQ(o.maxSessions, 20000u);
    EXPECT_EQ(o.config, "");
    TempFile other("max-sessions = 9\n");
    ASSERT_EQ(Parse({}, {{"VESSARO_CONFIG", other.path()}}, o, file.path()).kind, ParseResult::Run);
    EXPECT_EQ(o.maxSessions, 9u);
    ASSERT_EQ(Parse({"--config", ""}, {}, o, file.path()).kind, ParseResult::Run);
    EXPECT_EQ(o.maxSessions, 20000u) << "an empty --config reads no file";
}

TEST(ServerOptions, BadSettingsStopWithStatusTwoAndNameTheirSource) {
    TempFile unknown("port = 5\nmax-sesions = 3\n");
    TempFile outOfRange("notice-interval = 25\n");
    TempFile garbage("port = [\n");
    struct Case {
        std::vector<std::string> args;
        Environment env;
        std::vector<std::string> named; // texts the message must hold
    } cases[] = {
        {{"--config", unknown.path()}, {}, {unknown.path(), "max-sesions"}},
        {{"--config", outOfRange.path()}, {}, {outOfRange.path(), "notice-interval"}},
        {{"--config", garbage.path()}, {}, {garbage.path()}},
        {{"--config", "/nonexistent.toml"}, {}, {"/nonexistent.toml"}},
        {{"--config", fs::temp_directory_path().string()}, {}, {"not a file"}},
        {{}, {{"VESSARO_PORT", "70000"}}, {"VESSARO_PORT"}},
        {{}, {{"VESSARO_VERSION", "1"}, {"VESSARO_PORT", "x1"}}, {"VESSARO_PORT=x1"}},
        {{}, {{"VESSARO_LOG_LEVEL", "loud"}}, {"VESSARO_LOG_LEVEL", "loud"}},
        {{"--max-sessions", "0"}, {}, {"--max-sessions"}},
        {{"--text-rate", "fast"}, {}, {"--text-rate"}},
        {{"--unproven-notice-copies", "4"}, {}, {"--unproven-notice-copies"}},
        {{"--no-such-option"}, {}, {"--no-such-option"}},
    };
    for (const Case& c : cases) {
        ServerOptions o;
        ParseResult r = Parse(c.args, c.env, o);
        EXPECT_EQ(r.kind, ParseResult::Exit) << c.named[0];
        EXPECT_EQ(r.exitCode, 2) << r.message;
        for (const std::string& name : c.named)
            EXPECT_NE(r.message.find(name), std::string::npos) << r.message;
    }
}

TEST(ServerOptions, VersionAndHelpExitWithStatusZero) {
    ServerOptions o;
    ParseResult version = Parse({"--version"}, {}, o);
    EXPECT_EQ(version.kind, ParseResult::Exit);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(version.message,
                                 std::regex(R"(vessaro-server \d+\.\d+\.\d+( \(git \w+\))?\n)")))
        << version.message;
    ParseResult help = Parse({"--help"}, {}, o);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.message.find("VESSARO_MAX_SESSIONS"), std::string::npos);
}

// The shipped file names every option the program has (and nothing else), and starting with it
// changes nothing.
TEST(ServerOptions, DefaultFileListsEveryOptionWithItsDefault) {
    std::ifstream in(VESSARO_SERVER_TOML);
    ASSERT_TRUE(in.good());
    std::set<std::string> keys;
    const std::regex entry(R"(^#? ?([a-z][a-z0-9-]*) = .*)");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, entry))
            keys.insert(m[1]);
    }
    std::set<std::string> options;
    for (const auto& [name, value] : OptionValues(ServerOptions{}))
        options.insert(name);
    EXPECT_EQ(keys, options);

    ServerOptions withFile, without;
    ParseResult r = Parse({"--config", VESSARO_SERVER_TOML}, {}, withFile);
    ASSERT_EQ(r.kind, ParseResult::Run) << r.message;
    ASSERT_EQ(Parse({}, {}, without).kind, ParseResult::Run);
    EXPECT_EQ(OptionValues(withFile), OptionValues(without));
}

// A cluster needs a Redis address without credentials, a secret of 16 bytes or more, a password
// file when one is named, and a node address with a port; secret and password files must be
// closed to other users. Each fault is named by its option (and main exits with status 2).
TEST(ServerOptions, ClusterSettingsAreCheckedTogether) {
    const fs::perms owner = fs::perms::owner_read | fs::perms::owner_write;
    TempFile secret("0123456789abcdef\n", owner);
    TempFile shortSecret("0123456789abcde\n", owner);
    TempFile openSecret("0123456789abcdef\n", owner | fs::perms::others_read);
    TempFile password("node pw\n", owner);
    TempFile openPassword("pw\n", owner | fs::perms::others_read);
    const std::string url = "redis://127.0.0.1:6379/2";
    const std::vector<std::string> base = {"--cluster", url, "--cluster-secret-file",
                                           secret.path()};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), base.begin(), base.end());
        return more;
    };
    struct Case {
        std::vector<std::string> args;
        std::string named; // "" when the plan is good
    } cases[] = {
        {{"--cluster", url, "--cluster-secret-file", secret.path()}, ""},
        {{"--cluster", url, "--cluster-secret-file", secret.path(), "--node-address",
          "10.1.2.3:13366"},
         ""},
        {{"--cluster-secret-file", "/nonexistent"}, ""}, // no cluster: not read
        {{"--cluster", "127.0.0.1:6379", "--cluster-secret-file", secret.path()}, "--cluster:"},
        {{"--cluster", url}, "--cluster-secret-file: a cluster needs"},
        {{"--cluster", url, "--cluster-secret-file", shortSecret.path()}, "shorter than 16"},
        {{"--cluster", url, "--cluster-secret-file", "/nonexistent"}, "/nonexistent"},
        {{"--cluster", url, "--cluster-secret-file", secret.path(), "--node-address", "10.1.2.3"},
         "--node-address"},
        {{"--cluster", url, "--cluster-secret-file", secret.path(), "--node-address", "h:0"},
         "--node-address"},
        {{"--cluster", url, "--cluster-secret-file", openSecret.path()}, "every user"},
        {with({"--cluster-password-file", password.path()}), ""},
        {{"--cluster-password-file", "/nonexistent"}, ""}, // no cluster: not read
        {with({"--cluster-password-file", "/nonexistent"}), "--cluster-password-file: cannot"},
        {with({"--cluster-password-file", openPassword.path()}), "every user of the machine"},
        {{"--cluster", "redis://node:pw@127.0.0.1", "--cluster-secret-file", secret.path()},
         "--cluster-password-file"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--bind", "127.0.0.1", "--config", ""};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ServerOptions o;
        ASSERT_EQ(Parse(args, {}, o).kind, ParseResult::Run);
        ServerPlan plan;
        const std::string error = MakeServerPlan(o, nullptr, plan);
        if (c.named.empty()) {
            EXPECT_EQ(error, "") << c.args[1];
            EXPECT_EQ(plan.clusterUrl.has_value(), !o.cluster.empty());
        } else {
            EXPECT_NE(error.find(c.named), std::string::npos) << error;
            EXPECT_EQ(error.find("pw"), std::string::npos) << "a password shown: " << error;
        }
    }

    ServerOptions o;
    ASSERT_EQ(Parse({"--bind", "127.0.0.1", "--cluster", url, "--cluster-secret-file",
                     secret.path(), "--cluster-password-file", password.path()},
                    {}, o)
                  .kind,
              ParseResult::Run);
    ServerPlan plan;
    ASSERT_EQ(MakeServerPlan(o, nullptr, plan), "");
    EXPECT_EQ(plan.clusterUrl->db, 2);
    EXPECT_EQ(plan.clusterUrl->credentials.user, "node");
    EXPECT_EQ(plan.clusterUrl->credentials.password, "pw");
    EXPECT_EQ(plan.clusterUrl->Text().find("pw"), std::string::npos);
    EXPECT_EQ(plan.clusterSecret.size(), 16u);
    std::string warning;
    EXPECT_EQ(NodeAddressFor(plan, 5000, warning), "127.0.0.1:5000");
    EXPECT_NE(warning.find("loopback"), std::string::npos);
    plan.nodeAddress = "10.1.2.3:7000";
    warning.clear();
    EXPECT_EQ(NodeAddressFor(plan, 5000, warning), "10.1.2.3:7000");
    EXPECT_EQ(warning, "");
}

TEST(ConfigPaths, DataAndConfigurationLieRelativeToTheProgram) {
    const std::pair<std::string, std::string> configs[] = {
        {"/usr/bin/vessaro-server", "/etc/vessaro/server.toml"},
        {"/tmp/root/usr/bin/vessaro-server", "/tmp/root/etc/vessaro/server.toml"},
        {"/opt/vessaro/bin/vessaro-server", "/opt/vessaro/etc/vessaro/server.toml"},
    };
    for (const auto& [program, config] : configs)
        EXPECT_EQ(DefaultConfigPath(program), config);
    EXPECT_EQ(DefaultSiteDir("/usr/bin/vessaro-server"), "/usr/share/vessaro/site");
    EXPECT_EQ(DefaultSiteDir("/b/default/server/vessaro-server"), "/b/default/share/vessaro/site");
}

TEST(BindAddress, HostAndPortAreSplitAndBadOnesRefused) {
    struct Case {
        std::string text;
        bool ok;
        std::string host;
        uint16_t port;
    } cases[] = {
        {"127.0.0.1:9366", true, "127.0.0.1", 9366},
        {"[::1]:80", true, "::1", 80},
        {"metrics.local:0", true, "metrics.local", 0},
        {"::1:9366", false, "", 0},
        {"127.0.0.1", false, "", 0},
        {"127.0.0.1:", false, "", 0},
        {":9366", false, "", 0},
        {"h:70000", false, "", 0},
        {"h:12x", false, "", 0},
        {"[::1]9366", false, "", 0},
        {"h:99999999999999999999", false, "", 0},
    };
    for (const Case& c : cases) {
        std::string host, error;
        uint16_t port = 1;
        EXPECT_EQ(ParseHostPort(c.text, host, port, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host);
            EXPECT_EQ(port, c.port);
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
    std::vector<Endpoint> addresses;
    std::string error;
    EXPECT_FALSE(ResolveBindAddresses("no-such-host.invalid", addresses, error));
    EXPECT_NE(error.find("no-such-host.invalid"), std::string::npos);
    ASSERT_TRUE(ResolveBindAddresses("localhost", addresses, error)) << error;
    EXPECT_TRUE(IsLoopback(addresses.front()));
}

TEST(NoticeAddress, ExplicitThenPublicThenDerivedFromTheWebAddress) {
    Endpoint any6, any4, loop4, pub4, pub6;
    ASSERT_TRUE(ParseAddress("::", any6) && ParseAddress("0.0.0.0", any4) &&
                ParseAddress("127.0.0.1", loop4) && ParseAddress("203.0.113.5", pub4) &&
                ParseAddress("2001:db8::5", pub6));
    struct Case {
        std::string notice, publicUrl, bind;
        std::vector<Endpoint> bound;
        uint16_t http;
        std::optional<Endpoint> machine;
        std::string url;
        bool warns;
    } cases[] = {
        {"http://x/y", "https://a.example", "::", {any6}, 8080, pub4, "http://x/y", false},
        {"",
         "https://chat.example.org/",
         "::",
         {any6},
         8080,
         pub4,
         "https://chat.example.org/match/adv.html",
         false},
        {"", "", "::", {any6}, 8080, pub4, "http://203.0.113.5:8080/match/adv.html", false},
        {"", "", "::", {any6}, 80, pub6, "http://[2001:db8::5]/match/adv.html", false},
        {"",
         "",
         "0.0.0.0",
         {any4},
         8080,
         std::nullopt,
         "http://127.0.0.1:8080/match/adv.html",
         true},
        {"", "", "127.0.0.1", {loop4}, 0, pub4, "http://127.0.0.1/match/adv.html", false},
        {"",
         "",
         "2001:db8::5",
         {pub6},
         8080,
         pub4,
         "http://[2001:db8::5]:8080/match/adv.html",
         false},
        {"",
         "",
         "chat.example.org",
         {pub4},
         8080,
         pub4,
         "http://chat.example.org:8080/match/adv.html",
         false},
    };
    for (const Case& c : cases) {
        NoticeChoice choice =
            ChooseNoticeUrl(c.notice, c.publicUrl, c.bind, c.bound, c.http, c.machine);
        EXPECT_EQ(choice.url, c.url);
        EXPECT_EQ(!choice.warning.empty(), c.warns) << c.url << ": " << choice.warning;
        EXPECT_EQ(choice.error, "");
    }
    for (const char* bad : {"ftp://x", "chat.example.org", "http://a b", "javascript:alert(1)"}) {
        NoticeChoice choice = ChooseNoticeUrl("", bad, "::", {any6}, 8080, pub4);
        EXPECT_NE(choice.error.find(bad), std::string::npos) << bad;
    }
}

} // namespace
} // namespace vessaro
