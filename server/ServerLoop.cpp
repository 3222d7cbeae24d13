#include "ServerLoop.h"

#include "BindAddress.h"
#include "Datagram.h"
#include "DatagramOutbox.h"
#include "StatsSnapshot.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {
namespace {

constexpr int kMaxWaitMs = 1000;
constexpr int kReceiveBatch = 1024; // datagrams taken per wake-up before timers run again
constexpr int kSocketBufferBytes = 4 << 20;
constexpr unsigned kSystemBatch = 64; // datagrams per recvmmsg and sendmmsg
// How often the sockets' drop counts are read: often enough that a session is never judged silent
// on a count older than this.
constexpr int64_t kDropCheckIntervalMs = 100;

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The wire transform (every byte complemented) on the loop's hot path, a 64-bit word at a time
// (which the optimiser widens to vector registers). from and to may be the same buffer.
void Complement(const uint8_t* from, uint8_t* to, std::size_t size) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, from + i, 8);
        word = ~word;
        std::memcpy(to + i, &word, 8);
    }
    for (; i < size; ++i)
        to[i] = uint8_t(~from[i]);
}

constexpr std::size_t kSlotStagger = 9 * 64;

// Datagrams the kernel dropped on arrival at this socket (its buffer full) since it opened; 0 where
// the kernel does not say.
uint64_t ReceiveDrops(int fd) {
    uint32_t memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof memory;
    if (getsockopt(fd, SOL_SOCKET, SO_MEMINFO, memory, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof(uint32_t))
        return 0;
    return memory[SK_MEMINFO_DROPS];
}

// Whether the kernel takes UDP_SEGMENT on this socket (Linux 4.18 and later).
bool CanSegment(int fd) {
    int none = 0;
    return setsockopt(fd, SOL_UDP, UDP_SEGMENT, &none, sizeof none) == 0;
}

} // namespace

struct ServerLoop::Socket {
    int fd = -1;
    bool v6 = false;        // an AF_INET6 socket
    bool dualStack = false; // an IPv6 socket that IPv4 clients reach through mapped addresses
    std::string text;
    std::unique_ptr<DatagramOutbox> box;
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

    // Each slot a few cache lines longer than a datagram can be: slots 4 KB apart would put the
    // start of every datagram into the same few cache sets, and a batch of them would not stay
    // in the first-level cache between the kernel's copy and the loop's reading.
    uint8_t in[kSystemBatch][kMaxDatagramSize + kSlotStagger];
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
        // IPv4 datagrams leave with DF set (as they do by default) but without heeding a path MTU
        // learned from ICMP, which anyone can forge to make the server fragment or refuse
        // datagrams to a client; ours are far below every path's MTU. Unfragmentable datagrams
        // also carry no IP identification, which spares the kernel computing one for each.
        // Best effort, like the buffer sizes: an IPv6-only socket has no IPv4 datagrams.
        int pmtu = IP_PMTUDISC_PROBE;
        setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
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
        sockets.back().box = std::make_unique<DatagramOutbox>(CanSegment(fd));
    }
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0)
        return fail(SystemError("eventfd"));
    return std::unique_ptr<ServerLoop>(new ServerLoop(std::move(sockets), wake, port));
}

ServerLoop::ServerLoop(std::vector<Socket> sockets, int wakeEvent, uint16_t port)
    : sockets_(std::move(sockets)), wakeEvent_(wakeEvent), port_(port),
      inbox_(std::make_unique<Inbox>()) {
    for (const Socket& s : sockets_)
        watched_.push_back(pollfd{s.fd, POLLIN, 0});
    watched_.push_back(pollfd{wakeEvent_, POLLIN, 0});
}

ServerLoop::~ServerLoop() {
    for (Socket& s : sockets_)
        close(s.fd);
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

uint64_t ServerLoop::ReceiveDrops() const {
    uint64_t total = 0;
    for (const Socket& s : sockets_)
        total += vessaro::ReceiveDrops(s.fd);
    return total;
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
        Complement(datagram.data(), wire, size);
        SendNow(*socket, to, wire, size);
        return;
    }
    DatagramOutbox& box = *socket->box;
    if (box.full())
        Flush(*socket);
    uint8_t* out = box.Add(to, socket->v6, size);
    if (!out) {
        ++sendFailures_;
        return;
    }
    Complement(datagram.data(), out, size);
}

void ServerLoop::FlushOutboxes() {
    for (Socket& s : sockets_)
        Flush(s);
}

// Sends what waits in the socket's outbox, in order.
void ServerLoop::Flush(Socket& socket) {
    sendFailures_ += socket.box->SendAll(socket.fd);
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
    int64_t now = NowMs();
    int64_t nextStatsMs = hooks.statsIntervalMs > 0 ? now + hooks.statsIntervalMs : 0;
    int64_t nextWatchdogMs = hooks.watchdogIntervalMs > 0 ? now : 0;
    int64_t lastBeatMs = now - 1;
    int64_t nextDropCheckMs = now;
    while (!stopAsked_.load()) {
        if (now >= nextDropCheckMs) {
            core.OnReceiveDrops(ReceiveDrops(), now);
            nextDropCheckMs = now + kDropCheckIntervalMs;
        }
        // What the timers send (notices, their copies, probes, repeats) leaves in batches too.
        batching_ = true;
        core.OnTimer(now);
        batching_ = false;
        FlushOutboxes();
        if (hooks.snapshot) {
            // The heartbeat counts milliseconds: one beat per millisecond is as fresh as one per
            // turn.
            if (now != lastBeatMs) {
                hooks.snapshot->Beat();
                lastBeatMs = now;
            }
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
        // poll, not epoll: a socket in an epoll set keeps the set's entry on its wait queue, and
        // then every datagram sent wakes that queue when its buffer is freed. poll's entries are
        // there only while the loop sleeps.
        const int n = poll(watched_.data(), watched_.size(),
                           WaitTimeoutMs(core, nextStatsMs, nextWatchdogMs));
        // One reading of the clock serves what this wake-up brings and the next turn's timers.
        now = NowMs();
        if (n <= 0)
            continue;
        if (watched_.back().revents != 0) {
            uint64_t count;
            ssize_t ignored = read(wakeEvent_, &count, sizeof count);
            (void)ignored;
            if (hooks.woken) {
                batching_ = true;
                hooks.woken(now);
                batching_ = false;
                FlushOutboxes();
            }
        }
        for (std::size_t i = 0; i < sockets_.size(); ++i) {
            if (watched_[i].revents != 0)
                ReceiveAll(core, sockets_[i], now);
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

// now: the time of the first batch; moved on for each further batch, so that the caller's next
// reading of it is never older than what the core was given.
void ServerLoop::ReceiveAll(MatchServer& core, Socket& socket, int64_t& now) {
    Inbox& box = *inbox_;
    for (int taken = 0; taken < kReceiveBatch;) {
        int n = recvmmsg(socket.fd, box.inHeaders, kSystemBatch, MSG_DONTWAIT, nullptr);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // EAGAIN: drained; anything else: try again at the next wake-up
        if (taken > 0)
            now = NowMs();
        taken += n;
        batching_ = true;
        for (int i = 0; i < n; ++i) {
            const sockaddr_storage& peer = box.from[i];
            const std::size_t size = box.inHeaders[i].msg_len;
            // Ready for the next call: the kernel shortens the name length it fills in.
            box.inHeaders[i].msg_hdr.msg_namelen = sizeof peer;
            Endpoint from;
            if (peer.ss_family == AF_INET) {
                const auto& in = reinterpret_cast<const sockaddr_in&>(peer);
                from = Endpoint(ntohl(in.sin_addr.s_addr), ntohs(in.sin_port));
            } else if (!FromSockaddr(reinterpret_cast<const sockaddr*>(&peer), from)) {
                continue;
            }
            Complement(box.in[i], box.in[i], size);
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
