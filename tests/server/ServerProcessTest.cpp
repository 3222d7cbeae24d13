#include "Codec.h"
#include "HttpTestClient.h"
#include "Messages.h"
#include "WireTransform.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

uint16_t FreeTcpPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
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
            std::vector<char*> argv{const_cast<char*>(VESSARO_SERVER_EXE)};
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

    // Reads lines until the ready line; returns the UDP port (0 if it never came).
    uint16_t WaitReady() {
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
            const char* at = std::strstr(line.c_str(), "ready on ");
            if (!at)
                continue;
            const char* colon = std::strchr(at, ':');
            return colon ? uint16_t(std::atoi(colon + 1)) : 0;
        }
        return 0;
    }

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
    ServerProcess server(Args({"--stats-interval", "0.2"}));
    const uint16_t port = server.WaitReady();
    ASSERT_NE(port, 0);
    UdpClient a(port);
    ASSERT_TRUE(a.Connect());
    std::string stats;
    while (stats.find("sessions 1,") == std::string::npos && !(stats = server.ReadLine()).empty()) {
    }
    EXPECT_NE(stats.find("datagrams in 2 out 2"), std::string::npos) << stats;
    server.Signal(SIGINT);
    std::vector<uint8_t> closed = a.Await(MSG_SESSION_CLOSED);
    ASSERT_FALSE(closed.empty());
    EXPECT_EQ(DatagramView(closed).sessionId(), a.session);
    EXPECT_EQ(server.WaitExit(), 0);
}

TEST(ServerProcess, ServesTheDefaultPagesInUtf8WithoutOutsideResources) {
    const uint16_t httpPort = FreeTcpPort();
    ServerProcess server({"--bind", "127.0.0.1", "--port", "0", "--http-port",
                          std::to_string(httpPort), "--site-dir", VESSARO_SITE_DIR});
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

TEST(ServerProcess, BadSettingsAreRefusedWithAReason) {
    int busy = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(busy, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(busy, reinterpret_cast<sockaddr*>(&a), &len);
    const std::vector<std::vector<std::string>> cases = {
        {"--bind", "127.0.0.1", "--port", std::to_string(ntohs(a.sin_port)), "--http-port", "0"},
        Args({"--notice-url", std::string(300, 'x')}),
        Args({"--notice-interval", "25"}),
        Args({"--bind", "not-an-address"}),
        Args({"--site-dir", "/nonexistent", "--http-port", std::to_string(FreeTcpPort())}),
    };
    for (const auto& args : cases) {
        ServerProcess server(args);
        EXPECT_NE(server.ReadErrorLine(), "") << args[1] << " " << args[3];
        const int code = server.WaitExit();
        EXPECT_NE(code, 0) << args[1] << " " << args[3];
        EXPECT_NE(code, -1) << "it exits by itself";
    }
    close(busy);
}

} // namespace
} // namespace vessaro::test
