#include "ServerLoop.h"

#include "BindAddress.h"
#include "Datagram.h"
#include "StatsSnapshot.h"
#include "WireTransform.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {
namespace {

constexpr int kMaxWaitMs = 1000;
constexpr int kReceiveBatch = 1024; // datagrams taken per wake-up before timers run again
constexpr int kSocketBufferBytes = 4 << 20;
constexpr unsigned kSystemBatch = 64; // datagrams per recvmmsg and sendmmsg
constexpr uint64_t kWakeTag = ~uint64_t(0);

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The complemented datagrams waiting to be sent from one socket, with their destinations.
struct Outbox {
    uint8_t out[kSystemBatch][kMaxDatagramSize];
    sockaddr_storage to[kSystemBatch];
    iovec outVectors[kSystemBatch];
    mmsghdr outHeaders[kSystemBatch];
    unsigned count = 0;
};

} // namespace

struct ServerLoop::Socket {
    int fd = -1;
    bool v6 = false;        // an AF_INET6 socket
    bool dualStack = false; // an IPv6 socket that IPv4 clients reach through mapped addresses
    std::string text;
    std::unique_ptr<Outbox> box = std::make_unique<Outbox>();
};

// Fixed buffers for one batch of received datagrams with their senders, set up once: after each
// batch only the name lengths the kernel shortened are set back.
struct ServerLoop::Inbox {
    Inbox() {
        for (unsigned i = 0; i < kSystemBatch; ++i) {
            inVectors[i] = {in[i], kMaxDatagramSize};
            inHeaders[i] = mmsghdr{};
            inHeaders[i].msg_hdr.msg_name = &from[i];
            inHeaders[i].msg_hdr.msg_namelen = sizeof from[i];
            inHeaders[i].msg_hdr.msg_iov = &inVectors[i];
            inHeaders[i].msg_hdr.msg_iovlen = 1;
        }
    }

    uint8_t in[kSystemBatch][kMaxDatagramSize];
    sockaddr_storage from[kSystemBatch];
    iovec inVectors[kSystemBatch];
    mmsghdr inHeaders[kSystemBatch];
};

std::unique_ptr<ServerLoop> ServerLoop::Open(const std::vector<Endpoint>& addresses, uint16_t port,
                                             std::string& error) {
    std::vector<Socket> sockets;
    auto fail = [&](const std::string& why) {
        error = why;
        for (Socket& s : sockets)
            close(s.fd);
        return nullptr;
    };
    if (addresses.empty())
        return fail("no address to listen on");
    for (Endpoint address : addresses) {
        address.port = port;
        Socket socket;
        socket.v6 = !address.IsV4();
        socket.dualStack = socket.v6 && IsUnspecified(address);
        const std::string where = "UDP " + EndpointText(address);
        socket.fd =
            ::socket(socket.v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket.fd < 0)
            return fail(SystemError(where));
        sockets.push_back(std::move(socket));
        const int fd = sockets.back().fd;
        int size = kSocketBufferBytes;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size); // best effort
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        // No SO_REUSEADDR or SO_REUSEPORT: a port another process holds must stay refused.
        int v6only = sockets.back().dualStack ? 0 : 1;
        if (sockets.back().v6 &&
            setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only) != 0)
            return fail(SystemError(where));
        sockaddr_storage local{};
        socklen_t length = ToSockaddr(address, sockets.back().v6, local);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
            return fail(SystemError(where));
        Endpoint bound;
        FromSockaddr(reinterpret_cast<sockaddr*>(&local), bound);
        port = bound.port; // the others share the port the first one got
        sockets.back().text = EndpointText(bound);
    }
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    bool ok = ep >= 0 && wake >= 0;
    epoll_event in{};
    in.events = EPOLLIN;
    for (std::size_t i = 0; ok && i < sockets.size(); ++i) {
        in.data.u64 = i;
        ok = epoll_ctl(ep, EPOLL_CTL_ADD, sockets[i].fd, &in) == 0;
    }
    in.data.u64 = kWakeTag;
    ok = ok && epoll_ctl(ep, EPOLL_CTL_ADD, wake, &in) == 0;
    if (!ok) {
        const std::string why = SystemError("epoll");
        if (ep >= 0)
            close(ep);
        if (wake >= 0)
            close(wake);
        return fail(why);
    }
    return std::unique_ptr<ServerLoop>(new ServerLoop(std::move(sockets), ep, wake, port));
}

ServerLoop::ServerLoop(std::vector<Socket> sockets, int epoll, int wakeEvent, uint16_t port)
    : sockets_(std::move(sockets)), epoll_(epoll), wakeEvent_(wakeEvent), port_(port),
      inbox_(std::make_unique<Inbox>()) {}

ServerLoop::~ServerLoop() {
    for (Socket& s : sockets_)
        close(s.fd);
    close(epoll_);
    close(wakeEvent_);
}

std::vector<std::string> ServerLoop::BoundText() const {
    std::vector<std::string> texts;
    for (const Socket& s : sockets_)
        texts.push_back(s.text);
    return texts;
}

int64_t ServerLoop::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ServerLoop::Wake() {
    uint64_t one = 1;
    ssize_t ignored = write(wakeEvent_, &one, sizeof one);
    (void)ignored;
}

void ServerLoop::RequestStop() {
    stopAsked_.store(true);
    Wake();
}

void ServerLoop::RequestReload() {
    reloadAsked_.store(true);
    Wake();
}

ServerLoop::Socket* ServerLoop::SocketFor(const Endpoint& to) {
    Socket* dual = nullptr;
    for (Socket& s : sockets_) {
        if (!s.v6 && to.IsV4())
            return &s;
        if (s.v6 && !to.IsV4())
            return &s;
        if (s.dualStack && !dual)
            dual = &s;
    }
    return to.IsV4() ? dual : nullptr;
}

void ServerLoop::Send(const Endpoint& to, std::span<const uint8_t> datagram) {
    Socket* socket = SocketFor(to);
    if (!socket) {
        ++sendFailures_;
        return;
    }
    const std::size_t size = std::min(datagram.size(), kMaxDatagramSize);
    if (!batching_) {
        uint8_t wire[kMaxDatagramSize];
        CommInvertBytes(datagram.data(), wire, int(size));
        SendNow(*socket, to, wire, size);
        return;
    }
    Outbox& box = *socket->box;
    if (box.count == kSystemBatch)
        Flush(*socket);
    const unsigned i = box.count;
    const unsigned nameLength = ToSockaddr(to, socket->v6, box.to[i]);
    if (nameLength == 0) {
        ++sendFailures_;
        return;
    }
    ++box.count;
    CommInvertBytes(datagram.data(), box.out[i], int(size));
    box.outVectors[i] = {box.out[i], size};
    box.outHeaders[i] = mmsghdr{};
    box.outHeaders[i].msg_hdr.msg_name = &box.to[i];
    box.outHeaders[i].msg_hdr.msg_namelen = nameLength;
    box.outHeaders[i].msg_hdr.msg_iov = &box.outVectors[i];
    box.outHeaders[i].msg_hdr.msg_iovlen = 1;
}

void ServerLoop::FlushOutboxes() {
    for (Socket& s : sockets_)
        Flush(s);
}

// Sends what waits in the socket's outbox, in order. A datagram the socket refuses is counted as
// a failure and the rest still go, as they would have one by one.
void ServerLoop::Flush(Socket& socket) {
    Outbox& box = *socket.box;
    unsigned sent = 0;
    while (sent < box.count) {
        int n = sendmmsg(socket.fd, box.outHeaders + sent, box.count - sent, 0);
        if (n > 0) {
            sent += unsigned(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ++sendFailures_;
            ++sent;
        }
    }
    box.count = 0;
}

void ServerLoop::SendNow(Socket& socket, const Endpoint& to, const uint8_t* wire,
                         std::size_t size) {
    sockaddr_storage peer{};
    const unsigned nameLength = ToSockaddr(to, socket.v6, peer);
    for (int attempt = 0; nameLength > 0 && attempt < 20; ++attempt) {
        ssize_t sent =
            sendto(socket.fd, wire, size, 0, reinterpret_cast<sockaddr*>(&peer), nameLength);
        if (sent == ssize_t(size))
            return;
        if (sent < 0 && errno == EINTR)
            continue;
        if (!(sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && flushing_ &&
              WaitWritable(socket.fd)))
            break;
    }
    ++sendFailures_;
}

bool ServerLoop::WaitWritable(int fd) {
    pollfd p{fd, POLLOUT, 0};
    return poll(&p, 1, 100) > 0;
}

void ServerLoop::Run(MatchServer& core, const LoopHooks& hooks) {
    const int64_t start = NowMs();
    int64_t nextStatsMs = hooks.statsIntervalMs > 0 ? start + hooks.statsIntervalMs : 0;
    int64_t nextWatchdogMs = hooks.watchdogIntervalMs > 0 ? start : 0;
    while (!stopAsked_.load()) {
        const int64_t now = NowMs();
        // What the timers send (notices, their copies, probes, repeats) leaves in batches too.
        batching_ = true;
        core.OnTimer(now);
        batching_ = false;
        FlushOutboxes();
        if (hooks.snapshot) {
            hooks.snapshot->Beat();
            if (hooks.snapshot->Wanted()) {
                ServerStats stats = core.Stats();
                stats.sendFailures = sendFailures_;
                hooks.snapshot->Publish(stats);
            }
        }
        if (nextStatsMs > 0 && now >= nextStatsMs) {
            ServerStats stats = core.Stats();
            stats.sendFailures = sendFailures_;
            if (hooks.stats)
                hooks.stats(stats);
            nextStatsMs = now + hooks.statsIntervalMs;
        }
        if (nextWatchdogMs > 0 && now >= nextWatchdogMs) {
            if (hooks.watchdog)
                hooks.watchdog();
            nextWatchdogMs = now + hooks.watchdogIntervalMs;
        }
        if (reloadAsked_.exchange(false) && hooks.reload)
            hooks.reload();
        epoll_event events[8];
        const int n =
            epoll_wait(epoll_, events, 8, WaitTimeoutMs(core, nextStatsMs, nextWatchdogMs));
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == kWakeTag) {
                uint64_t count;
                ssize_t ignored = read(wakeEvent_, &count, sizeof count);
                (void)ignored;
                if (hooks.woken) {
                    batching_ = true;
                    hooks.woken(NowMs());
                    batching_ = false;
                    FlushOutboxes();
                }
            } else {
                ReceiveAll(core, sockets_[events[i].data.u64]);
            }
        }
    }
    if (hooks.stopping)
        hooks.stopping();
    flushing_ = true;
    core.Shutdown();
    flushing_ = false;
}

int ServerLoop::WaitTimeoutMs(const MatchServer& core, int64_t nextStatsMs,
                              int64_t nextWatchdogMs) const {
    const int64_t now = NowMs();
    int64_t wait = kMaxWaitMs;
    if (std::optional<int64_t> due = core.NextDueMs())
        wait = std::min(wait, *due - now);
    for (int64_t next : {nextStatsMs, nextWatchdogMs}) {
        if (next > 0)
            wait = std::min(wait, next - now);
    }
    return int(std::max<int64_t>(wait, 0));
}

void ServerLoop::ReceiveAll(MatchServer& core, Socket& socket) {
    Inbox& box = *inbox_;
    for (int taken = 0; taken < kReceiveBatch;) {
        int n = recvmmsg(socket.fd, box.inHeaders, kSystemBatch, MSG_DONTWAIT, nullptr);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // EAGAIN: drained; anything else: try again at the next wake-up
        taken += n;
        batching_ = true;
        const int64_t now = NowMs();
        for (int i = 0; i < n; ++i) {
            const sockaddr_storage& peer = box.from[i];
            const std::size_t size = box.inHeaders[i].msg_len;
            // Ready for the next call: the kernel shortens the name length it fills in.
            box.inHeaders[i].msg_hdr.msg_namelen = sizeof peer;
            Endpoint from;
            if (!FromSockaddr(reinterpret_cast<const sockaddr*>(&peer), from))
                continue;
            CommInvertBytes(box.in[i], box.in[i], int(size));
            core.OnDatagram(from, std::span<const uint8_t>(box.in[i], size), now);
        }
        batching_ = false;
        FlushOutboxes();
        // A short batch drained the socket: asking again would cost a system call to learn only
        // that; anything that arrives meanwhile wakes the loop again.
        if (unsigned(n) < kSystemBatch)
            return;
    }
}

} // namespace vessaro
