// The Debian packages as a user gets them: packed from this build tree (or taken from
// VESSARO_PACKAGE_DIR), extracted into a temporary root with dpkg-deb, and run from there. The
// programs must find their pages and the default configuration relative to that root.

#include "BuildConfig.h"
#include "ChildProcess.h"
#include "CliEvents.h"
#include "Command.h"
#include "HttpTestClient.h"
#include "ServerLaunch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vessaro::test {
namespace {

namespace fs = std::filesystem;

class Packages : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* skip = std::getenv("VESSARO_SKIP_PACKAGE_TEST");
        if (skip && std::string(skip) == "1") {
            skipReason_ = "VESSARO_SKIP_PACKAGE_TEST=1";
            return;
        }
        if (!HasCommand("dpkg-deb")) {
            skipReason_ = "dpkg-deb is not installed (package dpkg)";
            return;
        }

        // Built by the setup test package.BuildPackages.
        const char* given = std::getenv("VESSARO_PACKAGE_DIR");
        const fs::path packages = given ? fs::path(given) : fs::path(VESSARO_BUILT_PACKAGES);
        char temporary[] = "/tmp/vessaro-packages-XXXXXX";
        ASSERT_NE(mkdtemp(temporary), nullptr);
        root_ = temporary;
        for (const std::string& name : PackageNames()) {
            fs::path deb;
            for (const auto& entry : fs::directory_iterator(packages))
                if (entry.path().filename().string().rfind(name + "_", 0) == 0)
                    deb = entry.path();
            ASSERT_FALSE(deb.empty()) << "no package " << name << " in " << packages;
            CommandResult listed = RunCommand("dpkg-deb -c '" + deb.string() + "'");
            ASSERT_EQ(listed.status, 0) << deb;
            contents_[name] = listed.output;
            CommandResult extracted =
                RunCommand("dpkg-deb -x '" + deb.string() + "' '" + root_.string() + "' 2>&1");
            ASSERT_EQ(extracted.status, 0) << extracted.output;
        }
        extracted_ = true;
    }

    // A skip in SetUpTestSuite does not stop the tests themselves, so each one looks; a package
    // that is missing or cannot be extracted fails every test, never passes for a skip.
    void SetUp() override {
        if (!skipReason_.empty())
            GTEST_SKIP() << skipReason_;
        if (!extracted_)
            FAIL() << "the packages could not be extracted (see the suite's set-up above)";
    }

    // The packages this build makes: the desktop client's only when it is built.
    static std::vector<std::string> PackageNames() {
        std::vector<std::string> names = {"vessaro-server", "vessaro-cli"};
        if (VESSARO_WITH_DESKTOP)
            names.push_back("vessaro");
        return names;
    }

    static void TearDownTestSuite() {
        if (!root_.empty())
            fs::remove_all(root_);
    }

    static std::string skipReason_;
    static bool extracted_;
    static fs::path root_;
    static std::map<std::string, std::string> contents_;
};

std::string Packages::skipReason_;
bool Packages::extracted_ = false;
fs::path Packages::root_;
std::map<std::string, std::string> Packages::contents_;

TEST_F(Packages, HoldTheirFilesWhereTheProgramsAndTheSystemLookForThem) {
    const std::map<std::string, std::vector<std::string>> expected = {
        {"vessaro-server",
         {"./usr/bin/vessaro-server", "./usr/share/vessaro/site/match/adv.html",
          "./etc/vessaro/server.toml", "./usr/lib/systemd/system/vessaro-server.service",
          "./usr/lib/sysusers.d/vessaro-server.conf",
          "./usr/share/bash-completion/completions/vessaro-server",
          "./usr/share/man/man1/vessaro-server.1.gz", "./usr/share/doc/vessaro-server/copyright"}},
        {"vessaro-cli",
         {"./usr/bin/vessaro-cli", "./usr/share/bash-completion/completions/vessaro-cli",
          "./usr/share/man/man1/vessaro-cli.1.gz", "./usr/share/doc/vessaro-cli/copyright"}},
        {"vessaro",
         {"./usr/bin/vessaro", "./usr/share/vessaro/sounds/ringin.wav",
          "./usr/share/vessaro/media.u3", "./usr/share/applications/org.vessaro.Vessaro.desktop",
          "./usr/share/metainfo/org.vessaro.Vessaro.metainfo.xml",
          "./usr/share/icons/hicolor/48x48/apps/vessaro.png",
          "./usr/share/icons/hicolor/scalable/apps/vessaro.svg",
          "./usr/share/man/man1/vessaro.1.gz", "./usr/share/doc/vessaro/copyright"}},
    };
    for (const auto& [package, paths] : expected) {
        if (!contents_.count(package))
            continue; // the desktop client's package, in a build without it
        for (const std::string& path : paths)
            EXPECT_NE(contents_[package].find(" " + path + "\n"), std::string::npos)
                << package << " lacks " << path;
    }
    // Each program lies in one package only.
    EXPECT_EQ(contents_["vessaro-cli"].find("vessaro-server"), std::string::npos);
    EXPECT_EQ(contents_["vessaro"].find("/usr/bin/vessaro-"), std::string::npos);
}

// The arguments that put the metrics and health endpoints on the given port, in the form this
// server's --help shows; none when it has no separate metrics address.
std::vector<std::string> MetricsArguments(const std::string& help, uint16_t port) {
    if (help.find("--metrics-port") != std::string::npos)
        return {"--metrics-port", std::to_string(port)};
    if (help.find("--metrics-bind") != std::string::npos)
        return {"--metrics-bind", "127.0.0.1:" + std::to_string(port)};
    return {};
}

TEST_F(Packages, ServerAndConsoleClientRunFromTheExtractedRoot) {
    const std::string server = (root_ / "usr/bin/vessaro-server").string();
    const std::string cli = (root_ / "usr/bin/vessaro-cli").string();

    CommandResult version = RunCommand(cli + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("vessaro-cli " VESSARO_VERSION, 0), 0u) << version.output;

    // A page that only the extracted tree holds proves where the pages come from.
    std::ofstream(root_ / "usr/share/vessaro/site/marker.txt") << "from the package root";
    const uint16_t udp = FreeLoopbackPort(PortKind::Udp);
    const uint16_t http = FreeLoopbackPort(PortKind::Tcp);
    const uint16_t metrics = FreeLoopbackPort(PortKind::Tcp);
    std::vector<std::string> arguments = {
        "--bind", "127.0.0.1", "--port", std::to_string(udp), "--http-port", std::to_string(http)};
    std::vector<std::string> metricsArguments =
        MetricsArguments(RunCommand(server + " --help").output, metrics);
    EXPECT_FALSE(metricsArguments.empty()) << "vessaro-server has no metrics address option";
    arguments.insert(arguments.end(), metricsArguments.begin(), metricsArguments.end());
    ChildProcess process(server, arguments);

    const uint16_t monitor = metricsArguments.empty() ? http : metrics;
    auto health = HttpRequest(monitor, "GET", "/healthz");
    for (int attempt = 0; attempt < 100 && !health; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        health = HttpRequest(monitor, "GET", "/healthz");
    }
    ASSERT_TRUE(health) << "no answer on /healthz";
    EXPECT_EQ(health->status, 200);
    auto page = HttpRequest(http, "GET", "/marker.txt");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->body, "from the package root");
    auto exported = HttpRequest(monitor, "GET", "/metrics");
    ASSERT_TRUE(exported);
    EXPECT_EQ(exported->status, 200);
    EXPECT_NE(exported->body.find("\nvessaro_"), std::string::npos) << exported->body;

    ChildProcess client(cli, {"--server", "127.0.0.1", "--port", std::to_string(udp), "--json"});
    ExpectEvent(client, "connected");
    client.WriteLine("/quit");
    EXPECT_EQ(client.Wait(), 0);
}

TEST_F(Packages, ServerReadsTheDefaultConfigurationUnderTheRoot) {
    const fs::path config = root_ / "etc/vessaro/server.toml";
    ASSERT_TRUE(fs::exists(config)) << "the server package has no default configuration";
    // Every test extracts a root of its own, so this change stays in this one.
    std::ofstream(config, std::ios::app) << "\nno-such-setting = 1\n";

    // Standard error joins standard output, where the test reads it.
    ChildProcess server("/bin/sh",
                        {"-c", "exec \"$0\" \"$@\" 2>&1",
                         (root_ / "usr/bin/vessaro-server").string(), "--bind", "127.0.0.1",
                         "--port", std::to_string(FreeLoopbackPort(PortKind::Udp)), "--http-port",
                         std::to_string(FreeLoopbackPort(PortKind::Tcp))});
    EXPECT_TRUE(server.WaitFor("no-such-setting")) << "the unknown key is not named";
    EXPECT_EQ(server.Wait(), 2);
}

} // namespace
} // namespace vessaro::test
