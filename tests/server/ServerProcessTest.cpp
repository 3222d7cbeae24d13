#include "Codec.h"
#include "HttpTestClient.h"
#include "Messages.h"
#include "ServerLaunch.h"
#include "WireTransform.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vessaro::test {
namespace {

constexpr int kWaitMs = 5000; // generous: the machine may be loaded

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A vessaro-server child process with its standard output and error read through pipes.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> args) {
        int out[2], err[2];
        EXPECT_EQ(pipe(out), 0);
        EXPECT_EQ(pipe(err), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            // The metrics listener is off unless a test asks for it: servers of parallel
            // tests would share its default port.
            std::vector<char*> argv{const_cast<char*>(VESSARO_SERVER_EXE),
                                    const_cast<char*>("--metrics-bind"), const_cast<char*>("")};
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(VESSARO_SERVER_EXE, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~ServerProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }

    // The next line of standard output, or "" when none comes in time.
    std::string ReadLine() { return ReadLineFrom(out_, outBuffer_); }
    std::string ReadErrorLine() { return ReadLineFrom(err_, errBuffer_); }

    // Reads lines until the ready line; returns the UDP port (0 if it never came). The line is
    // kept in readyLine.
    uint16_t WaitReady() {
        const std::regex ready(R"(ready on (\S+):([0-9]+))");
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
            std::smatch m;
            if (!std::regex_search(line, m, ready))
                continue;
            readyLine = line;
            return uint16_t(std::stoi(m[2]));
        }
        return 0;
    }
    // The port of a listener the ready line names ("http", "metrics 127.0.0.1"), or 0.
    uint16_t ListenerPort(const std::string& name) const {
        std::smatch m;
        if (!std::regex_search(readyLine, m, std::regex(name + R"(\S*?:?([0-9]+))")))
            return 0;
        return uint16_t(std::stoi(m[1]));
    }
    std::string readyLine;

    void Signal(int sig) { kill(pid_, sig); }

    // The exit code, or -1 when the process has not exited in time or was killed by a signal.
    int WaitExit() {
        const int64_t deadline = NowMs() + kWaitMs;
        int status = 0;
        while (NowMs() < deadline) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    std::string ReadLineFrom(int fd, std::string& buffer) {
        const int64_t deadline = NowMs() + kWaitMs;
        while (true) {
            std::size_t nl = buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                return line;
            }
            pollfd p{fd, POLLIN, 0};
            int left = int(deadline - NowMs());
            if (left <= 0 || poll(&p, 1, left) <= 0)
                return "";
            char chunk[512];
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return "";
            buffer.append(chunk, std::size_t(n));
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool exited_ = false;
    std::string outBuffer_, errBuffer_;
};

// A client's UDP socket on 127.0.0.1, speaking the protocol with the wire transform.
class UdpClient {
public:
    explicit UdpClient(uint16_t serverPort) : serverPort_(serverPort) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~UdpClient() { close(fd_); }

    template <std::size_t N>
    void Send(DatagramBytes<N> d) {
        CommInvertBytes(d.data(), d.data(), int(N));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(serverPort_);
        sendto(fd_, d.data(), N, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    void Control(int32_t type) { Send(BuildControl(type, session, conversation)); }

    // The next datagram of the type (others are skipped), or empty when none comes in time.
    std::vector<uint8_t> Await(int32_t type) {
        const int64_t deadline = NowMs() + kWaitMs;
        while (true) {
            pollfd p{fd_, POLLIN, 0};
            int left = int(deadline - NowMs());
            if (left <= 0 || poll(&p, 1, left) <= 0)
                return {};
            std::vector<uint8_t> d(kMaxDatagramSize);
            ssize_t n = recv(fd_, d.data(), d.size(), 0);
            if (n < 0)
                return {};
            d.resize(std::size_t(n));
            CommInvertBytes(d.data(), d.data(), int(n));
            if (DatagramView(d).type() == type)
                return d;
        }
    }

    bool Connect() {
        Control(MSG_CONNECT);
        std::vector<uint8_t> ack = Await(MSG_CONNECT_ACK);
        session = ack.empty() ? 0 : DatagramView(ack).sessionId();
        const bool granted = !ack.empty() && DatagramView(ack).connectResult() != 0;
        if (granted)
            Control(MSG_NOTICE_ACK); // proves the address, as a client's answer to the notice does
        return granted;
    }

    int32_t session = 0;
    int32_t conversation = 0;

private:
    int fd_;
    uint16_t serverPort_;
};

UserProfile ProfileOf(int32_t sex, const char* nickname) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, EncodeGbkOrEmpty(nickname));
    p.sex = sex;
    p.age = 25;
    return p;
}

MatchRequirement AnyOne() {
    MatchRequirement r = EmptyRequirement();
    CopyToField(r.topic, EncodeGbkOrEmpty("谈天说地"));
    r.maxAge = 120;
    return r;
}

std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> args{"--bind", "127.0.0.1", "--port", "0", "--http-port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST(ServerProcess, TwoUsersMeetAndTalkAndAreToldWhenTheServerStops) {
    ServerProcess server(Args({"--stats-interval", "0"}));
    const uint16_t port = server.WaitReady();
    ASSERT_NE(port, 0);
    UdpClient a(port), b(port);
    ASSERT_TRUE(a.Connect());
    ASSERT_TRUE(b.Connect());
    ASSERT_NE(a.session, b.session);
    EXPECT_FALSE(a.Await(MSG_NOTICE).empty());

    a.Send(BuildMatchRequest(a.session, ProfileOf(SEX_MALE, "阿明"), AnyOne()));
    ASSERT_FALSE(a.Await(MSG_MATCH_REQUEST_ACK).empty());
    b.Send(BuildMatchRequest(b.session, ProfileOf(SEX_FEMALE, "小红"), AnyOne()));
    for (UdpClient* c : {&a, &b}) {
        std::vector<uint8_t> offer = c->Await(MSG_PARTNER_FOUND);
        ASSERT_FALSE(offer.empty());
        c->conversation = DatagramView(offer).conversationId();
        c->Control(MSG_PARTNER_FOUND_ACK);
        c->Control(MSG_ACCEPT);
    }
    for (UdpClient* c : {&a, &b}) {
        ASSERT_FALSE(c->Await(MSG_TALK_START).empty());
        c->Control(MSG_TALK_START_ACK);
    }

    a.Send(BuildTalkText(a.session, a.conversation, 41, MakeTalkText(EncodeGbkOrEmpty("你好"))));
    std::vector<uint8_t> text = b.Await(MSG_TALK_TEXT);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(DatagramView(text).sessionId(), b.session);
    EXPECT_EQ(DatagramView(text).talkSequence(), 41u);
    EXPECT_EQ(DecodeGbk(FieldText(DatagramView(text).talkText().text)), "你好");

    server.Signal(SIGTERM);
    for (UdpClient* c : {&a, &b}) {
        EXPECT_FALSE(c->Await(MSG_PEER_HANGUP).empty());
        EXPECT_FALSE(c->Await(MSG_SESSION_CLOSED).empty());
    }
    EXPECT_EQ(server.WaitExit(), 0);
}

TEST(ServerProcess, InterruptClosesIdleSessionsAndExitsCleanly) {
    ServerProcess server(Args({"--stats-interval", "0.2", "--log-level", "debug"}));
    const uint16_t port = server.WaitReady();
    ASSERT_NE(port, 0);
    UdpClient a(port);
    ASSERT_TRUE(a.Connect());
    std::string stats;
    while (stats.find("sessions 1,") == std::string::npos &&
           !(stats = server.ReadErrorLine()).empty()) {
    }
    EXPECT_NE(stats.find(" debug "), std::string::npos) << stats;
    EXPECT_NE(stats.find("datagrams in 2 out 2"), std::string::npos) << stats;
    server.Signal(SIGINT);
    std::vector<uint8_t> closed = a.Await(MSG_SESSION_CLOSED);
    ASSERT_FALSE(closed.empty());
    EXPECT_EQ(DatagramView(closed).sessionId(), a.session);
    EXPECT_EQ(server.WaitExit(), 0);
}

TEST(ServerProcess, ServesTheDefaultPagesInUtf8WithoutOutsideResources) {
    const uint16_t httpPort = FreeLoopbackPort(PortKind::Tcp);
    // No --site-dir: the pages lie beside the program, in the build tree as when installed.
    ServerProcess server(
        {"--bind", "127.0.0.1", "--port", "0", "--http-port", std::to_string(httpPort)});
    ASSERT_NE(server.WaitReady(), 0);
    for (const char* path : {"/match/adv.html", "/match/logo.html"}) {
        auto res = HttpRequest(httpPort, "GET", path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->headers["content-type"], "text/html; charset=utf-8") << path;
        EXPECT_NE(res->body.find("<meta charset=\"utf-8\">"), std::string::npos) << path;
        EXPECT_NE(res->body.find("Vessaro"), std::string::npos) << path;
        EXPECT_EQ(res->body.find("//"), std::string::npos) << path << " loads nothing from outside";
        EXPECT_TRUE(EncodeGbk(res->body)) << path << " is valid UTF-8";
    }
    auto missing = HttpRequest(httpPort, "GET", "/match/none.html");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitExit(), 0);
}

TEST(ServerProcess, ATakenHttpPortStopsTheServerNamingIt) {
    int busy = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(busy, 4), 0);
    getsockname(busy, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string port = std::to_string(ntohs(a.sin_port));
    ServerProcess server({"--bind", "127.0.0.1", "--port", "0", "--http-port", port});
    const std::string error = server.ReadErrorLine();
    EXPECT_NE(error.find("127.0.0.1:" + port), std::string::npos) << error;
    const int code = server.WaitExit();
    EXPECT_NE(code, 0);
    EXPECT_NE(code, -1) << "it exits by itself";
    close(busy);
}

// Nothing half-started: a bad setting (status 2) or a resource that cannot be had (status 1)
// stops the server before it reports ready, with a line that names the culprit.
TEST(ServerProcess, BadSettingsAndTakenPortsAreRefusedWithAReason) {
    ServerProcess first({"--bind", "::", "--port", "0", "--http-port", "0"});
    const std::string taken = std::to_string(first.WaitReady());
    ASSERT_NE(taken, "0");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string named;
    } cases[] = {
        {{"--bind", "::", "--port", taken, "--http-port", "0"}, 1, taken},
        {{"--bind", "127.0.0.1", "--port", taken, "--http-port", "0"}, 1, taken},
        {Args({"--notice-url", std::string(300, 'x')}), 2, "--notice-url"},
        {Args({"--notice-interval", "25"}), 2, "--notice-interval"},
        {Args({"--bind", "no-such-host.invalid"}), 2, "no-such-host.invalid"},
        {Args({"--public-url", "ftp://x"}), 2, "--public-url"},
        {Args({"--metrics-bind", "127.0.0.1"}), 2, "--metrics-bind"},
        {Args({"--config", "/nonexistent.toml"}), 2, "/nonexistent.toml"},
        {Args({"--site-dir", "/nonexistent", "--http-port",
               std::to_string(FreeLoopbackPort(PortKind::Tcp))}),
         1, "/nonexistent"},
    };
    for (const Case& c : cases) {
        ServerProcess server(c.args);
        const std::string error = server.ReadErrorLine();
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_EQ(server.WaitExit(), c.code) << error;
        EXPECT_EQ(server.ReadLine(), "") << "never reported ready";
    }
    first.Signal(SIGTERM);
    EXPECT_EQ(first.WaitExit(), 0);
}

// The notice address changes on SIGHUP while a session stays open: the next notice names it.
TEST(ServerProcess, ReloadChangesTheNoticeWithoutDroppingTheSession) {
    const std::string path = testing::TempDir() + "vessaro-reload-" + std::to_string(getpid());
    std::ofstream(path) << "public-url = \"https://one.example\"\nnotice-interval = 0.3\n";
    ServerProcess server(Args({"--config", path}));
    const uint16_t port = server.WaitReady();
    ASSERT_NE(port, 0);
    UdpClient a(port);
    ASSERT_TRUE(a.Connect());
    std::vector<uint8_t> notice = a.Await(MSG_NOTICE);
    ASSERT_FALSE(notice.empty());
    EXPECT_EQ(DatagramView(notice).noticeText(), "https://one.example/match/adv.html");
    a.Control(MSG_NOTICE_ACK);

    std::ofstream(path) << "public-url = \"https://two.example\"\nnotice-interval = 0.3\n";
    server.Signal(SIGHUP);
    std::string text;
    for (int i = 0; i < 10 && text != "https://two.example/match/adv.html"; ++i) {
        notice = a.Await(MSG_NOTICE);
        ASSERT_FALSE(notice.empty()) << "the session survived the reload";
        EXPECT_EQ(DatagramView(notice).sessionId(), a.session);
        text = std::string(DatagramView(notice).noticeText());
        a.Control(MSG_NOTICE_ACK);
    }
    EXPECT_EQ(text, "https://two.example/match/adv.html");

    std::ofstream(path) << "no-such-key = 1\n"; // a bad file is refused and changes nothing
    server.Signal(SIGHUP);
    std::string error;
    while ((error = server.ReadErrorLine()).find("reload refused") == std::string::npos &&
           !error.empty()) {
    }
    EXPECT_NE(error.find("no-such-key"), std::string::npos) << error;
    EXPECT_FALSE(a.Await(MSG_NOTICE).empty()) << "still serving";
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitExit(), 0);
    std::remove(path.c_str());
}

TEST(ServerProcess, MetricsAndHealthAreServedOnTheirOwnListener) {
    // IPv4 clients reach the default dual-stack socket.
    ServerProcess server(Args({"--metrics-bind", "127.0.0.1:0", "--bind", "::"}));
    const uint16_t port = server.WaitReady();
    ASSERT_NE(port, 0);
    const uint16_t metricsPort = server.ListenerPort("metrics 127.0.0.1");
    ASSERT_NE(metricsPort, 0) << server.readyLine;
    UdpClient a(port);
    ASSERT_TRUE(a.Connect());
    std::this_thread::sleep_for(std::chrono::milliseconds(600)); // older than a snapshot lives

    auto health = HttpRequest(metricsPort, "GET", "/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(health->body, "ok\n");
    auto metrics = HttpRequest(metricsPort, "GET", "/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->status, 200);
    EXPECT_EQ(metrics->headers["content-type"], "text/plain; version=0.0.4; charset=utf-8");
    for (const char* line :
         {"vessaro_sessions{state=\"proven\"} 1\n", "vessaro_datagrams_received_total 2\n",
          "vessaro_http_requests_total 1\n", "# TYPE vessaro_matches_total"})
        EXPECT_NE(metrics->body.find(line), std::string::npos) << line << " in\n" << metrics->body;
    EXPECT_EQ(HttpRequest(metricsPort, "GET", "/match/adv.html")->status, 404)
        << "no site files on the metrics listener";
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitExit(), 0);
}

// Under systemd: READY=1 once the sockets are bound, watchdog pings from the loop at half the
// period, STOPPING=1 on SIGTERM.
TEST(ServerProcess, TellsTheServiceManagerWhenReadyAliveAndStopping) {
    const std::string path = testing::TempDir() + "vessaro-notify-" + std::to_string(getpid());
    int manager = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    unlink(path.c_str());
    ASSERT_EQ(bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "200000", 1);
    ServerProcess server(Args({}));
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    auto next = [&] {
        pollfd p{manager, POLLIN, 0};
        char buffer[512];
        ssize_t n = poll(&p, 1, kWaitMs) > 0 ? recv(manager, buffer, sizeof buffer, 0) : -1;
        return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
    };
    EXPECT_NE(server.WaitReady(), 0);
    std::string state = next();
    EXPECT_EQ(state.rfind("READY=1\nSTATUS=", 0), 0u) << state;
    const int64_t start = NowMs();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(next(), "WATCHDOG=1");
    EXPECT_GE(NowMs() - start, 150) << "pings come at half the period, not at once";
    server.Signal(SIGTERM);
    while ((state = next()) == "WATCHDOG=1") {
    }
    EXPECT_EQ(state, "STOPPING=1");
    EXPECT_EQ(server.WaitExit(), 0);
    close(manager);
    unlink(path.c_str());
}

} // namespace
} // namespace vessaro::test
