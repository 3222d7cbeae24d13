#include "ServerLoop.h"

#include "Datagram.h"
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

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

// Fixed buffers for one batch each way: the received datagrams with their senders, and the
// complemented datagrams waiting to be sent with their destinations.
struct ServerLoop::Outbox {
    uint8_t in[kSystemBatch][kMaxDatagramSize];
    sockaddr_storage from[kSystemBatch];
    iovec inVectors[kSystemBatch];
    mmsghdr inHeaders[kSystemBatch];

    uint8_t out[kSystemBatch][kMaxDatagramSize];
    sockaddr_storage to[kSystemBatch];
    iovec outVectors[kSystemBatch];
    mmsghdr outHeaders[kSystemBatch];
    unsigned count = 0;
};

std::unique_ptr<ServerLoop> ServerLoop::Open(const std::string& bindAddress, uint16_t port,
                                             std::string& error) {
    Endpoint address;
    if (!ParseAddress(bindAddress, address)) {
        error = "not an IPv4 or IPv6 address: " + bindAddress;
        return nullptr;
    }
    address.port = port;
    const bool v6 = !address.IsV4();
    int s = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = SystemError("socket");
        return nullptr;
    }
    int size = kSocketBufferBytes;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size); // best effort
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    // An IPv6 socket also serves IPv4 (as mapped addresses) unless the system forbids it.
    int v6only = 0;
    if (v6)
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
    sockaddr_storage local{};
    socklen_t length = ToSockaddr(address, v6, local);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = SystemError("UDP " + bindAddress + ":" + std::to_string(port));
        close(s);
        return nullptr;
    }
    int ep = epoll_create1(EPOLL_CLOEXEC);
    int stop = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event in{};
    in.events = EPOLLIN;
    in.data.fd = s;
    bool ok = ep >= 0 && stop >= 0 && epoll_ctl(ep, EPOLL_CTL_ADD, s, &in) == 0;
    in.data.fd = stop;
    ok = ok && epoll_ctl(ep, EPOLL_CTL_ADD, stop, &in) == 0;
    if (!ok) {
        error = SystemError("epoll");
        close(s);
        if (ep >= 0)
            close(ep);
        if (stop >= 0)
            close(stop);
        return nullptr;
    }
    Endpoint bound;
    FromSockaddr(reinterpret_cast<sockaddr*>(&local), bound);
    return std::unique_ptr<ServerLoop>(new ServerLoop(s, ep, stop, bound.port, v6));
}

ServerLoop::ServerLoop(int socket, int epoll, int stopEvent, uint16_t port, bool v6)
    : socket_(socket), epoll_(epoll), stopEvent_(stopEvent), port_(port), v6_(v6),
      outbox_(std::make_unique<Outbox>()) {}

ServerLoop::~ServerLoop() {
    close(socket_);
    close(epoll_);
    close(stopEvent_);
}

int64_t ServerLoop::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ServerLoop::RequestStop() {
    uint64_t one = 1;
    ssize_t ignored = write(stopEvent_, &one, sizeof one);
    (void)ignored;
}

void ServerLoop::Send(const Endpoint& to, std::span<const uint8_t> datagram) {
    const std::size_t size = std::min(datagram.size(), kMaxDatagramSize);
    if (!batching_) {
        uint8_t wire[kMaxDatagramSize];
        CommInvertBytes(datagram.data(), wire, int(size));
        SendNow(to, wire, size);
        return;
    }
    Outbox& box = *outbox_;
    if (box.count == kSystemBatch)
        FlushOutbox();
    const unsigned i = box.count;
    const unsigned nameLength = ToSockaddr(to, v6_, box.to[i]);
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

// Sends what waits in the outbox, in order. A datagram the socket refuses is counted as a failure
// and the rest still go, as they would have one by one.
void ServerLoop::FlushOutbox() {
    Outbox& box = *outbox_;
    unsigned sent = 0;
    while (sent < box.count) {
        int n = sendmmsg(socket_, box.outHeaders + sent, box.count - sent, 0);
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

void ServerLoop::SendNow(const Endpoint& to, const uint8_t* wire, std::size_t size) {
    sockaddr_storage peer{};
    const unsigned nameLength = ToSockaddr(to, v6_, peer);
    for (int attempt = 0; nameLength > 0 && attempt < 20; ++attempt) {
        ssize_t sent =
            sendto(socket_, wire, size, 0, reinterpret_cast<sockaddr*>(&peer), nameLength);
        if (sent == ssize_t(size))
            return;
        if (sent < 0 && errno == EINTR)
            continue;
        if (!(sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && flushing_ && WaitWritable()))
            break;
    }
    ++sendFailures_;
}

bool ServerLoop::WaitWritable() {
    pollfd p{socket_, POLLOUT, 0};
    return poll(&p, 1, 100) > 0;
}

void ServerLoop::Run(MatchServer& core, int64_t statsIntervalMs,
                     const std::function<void(const std::string&)>& log) {
    int64_t nextStatsMs = statsIntervalMs > 0 ? NowMs() + statsIntervalMs : 0;
    bool stopping = false;
    while (!stopping) {
        const int64_t now = NowMs();
        core.OnTimer(now);
        if (statsIntervalMs > 0 && now >= nextStatsMs) {
            ServerStats stats = core.Stats();
            stats.sendFailures = sendFailures_;
            log(FormatStatsLine(stats));
            nextStatsMs = now + statsIntervalMs;
        }
        epoll_event events[2];
        int n = epoll_wait(epoll_, events, 2, WaitTimeoutMs(core, nextStatsMs));
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == stopEvent_)
                stopping = true;
            else
                ReceiveAll(core);
        }
    }
    flushing_ = true;
    core.Shutdown();
    flushing_ = false;
}

int ServerLoop::WaitTimeoutMs(const MatchServer& core, int64_t nextStatsMs) const {
    const int64_t now = NowMs();
    int64_t wait = kMaxWaitMs;
    if (std::optional<int64_t> due = core.NextDueMs())
        wait = std::min(wait, *due - now);
    if (nextStatsMs > 0)
        wait = std::min(wait, nextStatsMs - now);
    return int(std::max<int64_t>(wait, 0));
}

void ServerLoop::ReceiveAll(MatchServer& core) {
    Outbox& box = *outbox_;
    for (unsigned i = 0; i < kSystemBatch; ++i) {
        box.inVectors[i] = {box.in[i], kMaxDatagramSize};
        box.inHeaders[i] = mmsghdr{};
        box.inHeaders[i].msg_hdr.msg_name = &box.from[i];
        box.inHeaders[i].msg_hdr.msg_namelen = sizeof box.from[i];
        box.inHeaders[i].msg_hdr.msg_iov = &box.inVectors[i];
        box.inHeaders[i].msg_hdr.msg_iovlen = 1;
    }
    for (int taken = 0; taken < kReceiveBatch;) {
        int n = recvmmsg(socket_, box.inHeaders, kSystemBatch, MSG_DONTWAIT, nullptr);
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
        FlushOutbox();
    }
}

} // namespace vessaro
