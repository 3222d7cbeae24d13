#include "SiteServer.h"
#include "HttpTestClient.h"
#include "RequestDeadlines.h"
#include "SitePath.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <vector>

namespace vessaro::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A site folder with pages, a secret beside it and links that lead out to it.
struct SiteFixture {
    fs::path top = fs::temp_directory_path() / ("vessaro-site-" + std::to_string(getpid()));
    fs::path site = top / "site";
    SiteFixture() {
        fs::remove_all(top);
        fs::create_directories(site / "sub");
        Write(top / "secret.txt", "secret");
        Write(site / "page.html", "<p>page</p>");
        Write(site / "sub" / "index.html", "<p>sub</p>");
        Write(site / "100%.txt", "percent");
        Write(site / ".hidden", "hidden");
        fs::create_symlink(top / "secret.txt", site / "link.txt");
        fs::create_symlink(top, site / "up");
        fs::create_symlink("page.html", site / "alias.html"); // inside: allowed
    }
    ~SiteFixture() { fs::remove_all(top); }
    static void Write(const fs::path& path, const std::string& text) {
        std::ofstream(path) << text;
    }
};

TEST(SitePath, DecodesOnceAndRefusesTraversalAndBadEscapes) {
    const struct {
        const char* raw;
        int status;
        const char* path;
    } cases[] = {
        {"/match/adv.html", 200, "/match/adv.html"},
        {"/a%2Eb", 200, "/a.b"},
        {"//a///b/", 200, "/a/b"},
        {"/", 200, "/"},
        {"/100%25.txt", 200, "/100%.txt"},
        {"/%252e%252e/x", 200, "/%2e%2e/x"},
        {"/../etc/passwd", 404, ""},
        {"/a/%2e%2e/%2E%2e/etc", 404, ""},
        {"/a/..", 404, ""},
        {"/.git/config", 404, ""},
        {"/a%00.html", 400, ""},
        {"/a%2", 400, ""},
        {"/a%zz", 400, ""},
        {"relative", 400, ""},
        {"", 400, ""},
    };
    for (const auto& c : cases) {
        const RequestPath decoded = DecodeRequestPath(c.raw);
        EXPECT_EQ(decoded.status, c.status) << c.raw;
        EXPECT_EQ(decoded.path, c.path) << c.raw;
    }
    EXPECT_EQ(ContentTypeFor("/a/b.HTML"), "text/html; charset=utf-8");
    EXPECT_EQ(ContentTypeFor("/a.d/noext"), "application/octet-stream");
}

TEST(SiteServer, ServesPagesAndHandlersButNothingOutsideTheFolder) {
    SiteFixture fixture;
    SiteServerOptions options{"127.0.0.1", 0, fixture.site.string(), {}};
    options.handlers["/healthz"] = [] { return HttpReply{503, "text/plain", "stalled"}; };
    options.handlers["/boom"] = []() -> HttpReply { throw std::runtime_error("handler failed"); };
    std::string error;
    auto server = SiteServer::Start(options, error);
    ASSERT_TRUE(server) << error;
    const struct {
        const char* method;
        const char* path;
        int status;
        const char* type;
        const char* body;
    } cases[] = {
        {"GET", "/page.html", 200, "text/html; charset=utf-8", "<p>page</p>"},
        {"GET", "/alias.html", 200, "text/html; charset=utf-8", "<p>page</p>"},
        {"GET", "/sub/", 200, "text/html; charset=utf-8", "<p>sub</p>"},
        {"GET", "/100%25.txt", 200, "text/plain; charset=utf-8", "percent"},
        {"HEAD", "/page.html", 200, "text/html; charset=utf-8", ""},
        {"GET", "/healthz", 503, "text/plain", "stalled"},
        {"GET", "/boom", 500, nullptr, nullptr},
        {"GET", "/link.txt", 404, nullptr, nullptr},
        {"GET", "/up/secret.txt", 404, nullptr, nullptr},
        {"GET", "/../secret.txt", 404, nullptr, nullptr},
        {"GET", "/%2e%2e/secret.txt", 404, nullptr, nullptr},
        {"GET", "/sub/%2E%2E/%2e%2e/secret.txt", 404, nullptr, nullptr},
        {"GET", "/.hidden", 404, nullptr, nullptr},
        {"GET", "/page.html%00.txt", 400, nullptr, nullptr},
        {"GET", "/missing.html", 404, nullptr, nullptr},
        {"POST", "/page.html", 405, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        auto answer = HttpRequest(server->port(), c.method, c.path);
        ASSERT_TRUE(answer) << c.method << " " << c.path;
        EXPECT_EQ(answer->status, c.status) << c.method << " " << c.path;
        EXPECT_EQ(answer->headers["x-content-type-options"], "nosniff") << c.path;
        EXPECT_EQ(answer->body.find("secret"), std::string::npos) << c.path;
        if (c.type) {
            EXPECT_EQ(answer->headers["content-type"], c.type) << c.path;
        }
        if (c.body) {
            EXPECT_EQ(answer->body, c.body) << c.method << " " << c.path;
        }
    }
    EXPECT_EQ(HttpRequest(server->port(), "PUT", "/x")->headers["allow"], "GET, HEAD");
    EXPECT_EQ(server->requests(), std::size(cases) + 1);
}

TEST(SiteServer, RefusesATakenPortAndAMissingFolderNamingThem) {
    std::string error;
    auto first = SiteServer::Start({"127.0.0.1", 0, "", {}}, error);
    ASSERT_TRUE(first) << error;
    const std::string port = std::to_string(first->port());
    for (const char* bind : {"127.0.0.1", "::"}) {
        error.clear();
        EXPECT_FALSE(SiteServer::Start({bind, first->port(), "", {}}, error)) << bind;
        EXPECT_NE(error.find(std::string(bind) + (bind[0] == ':' ? "]:" : ":") + port),
                  std::string::npos)
            << error;
        EXPECT_NE(error.find("in use"), std::string::npos) << error;
    }
    for (const char* dir : {"/nonexistent/site", "/etc/hostname"}) {
        error.clear();
        EXPECT_FALSE(SiteServer::Start({"127.0.0.1", 0, dir, {}}, error)) << dir;
        EXPECT_NE(error.find(dir), std::string::npos) << error;
    }
    error.clear();
    EXPECT_FALSE(SiteServer::Start({"no-such-host.invalid", 0, "", {}}, error));
    EXPECT_NE(error.find("no-such-host.invalid:0"), std::string::npos) << error;
}

TEST(RequestDeadlines, ShutsDownAConnectionOnlyOnceItsRequestRanOutOfTime) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    RequestDeadlines deadlines(std::chrono::seconds(2));
    const auto t0 = Clock::time_point{};
    ASSERT_TRUE(deadlines.Add(&pair, pair[0], t0));
    EXPECT_EQ(deadlines.Sweep(t0 + std::chrono::milliseconds(1999)), 0u);
    deadlines.Restart(&pair, t0 + std::chrono::seconds(1)); // an answered request
    EXPECT_EQ(deadlines.Sweep(t0 + std::chrono::milliseconds(2999)), 0u);
    EXPECT_EQ(deadlines.Sweep(t0 + std::chrono::seconds(3)), 1u);
    EXPECT_EQ(deadlines.Sweep(t0 + std::chrono::seconds(9)), 0u) << "cut once";
    char byte;
    EXPECT_EQ(recv(pair[1], &byte, 1, MSG_DONTWAIT), 0) << "the peer sees the end";
    deadlines.Remove(&pair);
    EXPECT_EQ(deadlines.size(), 0u);
    close(pair[0]);
    close(pair[1]);
}

TEST(SiteServer, SlowClientsCannotTakeTheSiteFromOthers) {
    constexpr int kSlow = 400;
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 4 * kSlow) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4 * kSlow);
        setrlimit(RLIMIT_NOFILE, &files);
    }
    std::string error;
    auto server = SiteServer::Start({"::", 0, "", {}, 1024, 16, 30}, error);
    ASSERT_TRUE(server) << error;
    std::vector<int> slow;
    for (int i = 0; i < kSlow; ++i) { // each from its own address: 127.0.1.1, 127.0.1.2, ...
        const int s =
            ConnectFrom(0x7F000000u | uint32_t((1 + i / 250) << 8) | (1 + i % 250), server->port());
        ASSERT_GE(s, 0) << i;
        send(s, "GET / HTTP/1.1\r\nX-Slow: ", 24, MSG_NOSIGNAL);
        slow.push_back(s);
    }
    // One address gets its share and no more: the connection over it is closed at once.
    for (int i = 0; i <= 16; ++i)
        slow.push_back(ConnectFrom(0x7F000801u, server->port()));
    std::string rest;
    EXPECT_TRUE(ReadToEnd(slow.back(), rest, 5000)) << "the 17th connection of one address";
    for (int s : slow)
        send(s, "1", 1, MSG_NOSIGNAL);

    const auto start = Clock::now();
    auto answer = HttpRequest(server->port(), "GET", "/none", 0x7F000909u);
    const double seconds = SecondsSince(start);
    std::printf("GET beside %d slow connections answered in %.3f s\n", kSlow, seconds);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 404);
    for (int s : slow)
        close(s);
}

TEST(SiteServer, ATricklingRequestIsCutAtItsDeadline) {
    std::string error;
    auto server = SiteServer::Start({"127.0.0.1", 0, "", {}, 1024, 16, 1}, error);
    ASSERT_TRUE(server) << error;
    const int s = ConnectFrom(INADDR_LOOPBACK, server->port());
    ASSERT_GE(s, 0);
    const auto start = Clock::now();
    // One byte of the request line every 100 ms: never idle, never complete.
    ASSERT_EQ(send(s, "GET /", 5, MSG_NOSIGNAL), 5);
    bool closed = false;
    while (!closed && SecondsSince(start) < 5) {
        std::string ignored;
        closed = send(s, "a", 1, MSG_NOSIGNAL) != 1 || ReadToEnd(s, ignored, 100);
    }
    const double seconds = SecondsSince(start);
    std::printf("trickling request cut after %.3f s (deadline 1 s)\n", seconds);
    EXPECT_TRUE(closed) << "still open after 5 s";
    EXPECT_GE(seconds, 0.9) << "cut before its time";
    close(s);
}

} // namespace
} // namespace vessaro::test
