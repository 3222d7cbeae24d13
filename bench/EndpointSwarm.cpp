#include "EndpointSwarm.h"

#include "Messages.h"
#include "WireTransform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <thread>

namespace vessaro::bench {
namespace {

constexpr uint32_t kHostsPerNetwork = 254;
constexpr uint32_t kFirstNetwork = 0x7F0100; // 127.1.0.0/24
constexpr int kMaxConnects = 3; // the server answers no more from one unproven endpoint
constexpr int kMaxRequests = 5;
constexpr uint8_t kSeen = 0x80; // still unanswered at the last scan

} // namespace

uint32_t SpreadAddress(uint32_t n) {
    if (n >= kSpreadAddresses)
        return 0;
    return (kFirstNetwork + n / kHostsPerNetwork) << 8 | (1 + n % kHostsPerNetwork);
}

int64_t SpreadIndex(uint32_t address) {
    const uint32_t network = address >> 8;
    const uint32_t host = address & 0xFF;
    if (network < kFirstNetwork || network >= kFirstNetwork + 256 || host == 0 ||
        host > kHostsPerNetwork)
        return -1;
    return int64_t(network - kFirstNetwork) * kHostsPerNetwork + host - 1;
}

EndpointSwarm::EndpointSwarm(std::size_t count, UdpAddress server, bool requestMatch)
    : server_(server), requestMatch_(requestMatch), states_(count, Fresh), ids_(count, 0),
      tries_(count, 0) {
    void* page = mmap(nullptr, sizeof(SwarmCounts), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) {
        counts_ = nullptr;
        valid_ = false;
        return;
    }
    counts_ = new (page) SwarmCounts();
    for (std::size_t first = 0; first < count; first += kSpreadAddresses) {
        UdpSocket socket(0, 0); // 0.0.0.0: every loopback address at this port
        if (!socket.valid() || !EnableLocalAddress(socket.fd())) {
            valid_ = false;
            return;
        }
        EnlargeBuffers(socket.fd(), 16 << 20, true);
        sockets_.push_back(std::move(socket));
    }
}

EndpointSwarm::~EndpointSwarm() {
    if (counts_) {
        counts_->~SwarmCounts();
        munmap(counts_, sizeof(SwarmCounts));
    }
}

bool EndpointSwarm::settled() const {
    const uint64_t done =
        counts_->refused + (requestMatch_ ? counts_->waitingNow.load() : counts_->open.load());
    return done >= states_.size();
}

void EndpointSwarm::Run(int threads, std::size_t window, const std::function<bool()>& stop) {
    const std::size_t count = std::max<std::size_t>(
        1, std::min<std::size_t>(std::size_t(std::max(threads, 1)), sockets_.size()));
    std::vector<std::thread> running;
    for (std::size_t t = 0; t < count; ++t) {
        const std::size_t first = sockets_.size() * t / count;
        const std::size_t last = sockets_.size() * (t + 1) / count;
        running.emplace_back([=, this] { RunThread(first, last, window, stop, uint32_t(17 + t)); });
    }
    for (std::thread& t : running)
        t.join();
}

bool EndpointSwarm::InFlight(State state) const {
    return state == Connecting || (requestMatch_ && (state == Granted || state == Asked));
}

void EndpointSwarm::Queue(std::size_t i, std::span<const uint8_t> plain, DatagramBatch& out,
                          int fd) {
    if (out.full())
        counts_->sent.fetch_add(uint64_t(out.Send(fd)), std::memory_order_relaxed);
    CommInvertBytes(plain.data(), out.Add(server_, plain.size(), AddressOf(i)), int(plain.size()));
}

void EndpointSwarm::RunThread(std::size_t firstSocket, std::size_t lastSocket, std::size_t window,
                              const std::function<bool()>& stop, uint32_t seed) {
    ProfileMaker users(seed);
    const std::size_t begin = firstSocket * kSpreadAddresses;
    const std::size_t end = std::min(lastSocket * kSpreadAddresses, states_.size());
    std::vector<std::unique_ptr<DatagramBatch>> outs;
    std::vector<pollfd> polls;
    for (std::size_t s = firstSocket; s < lastSocket; ++s) {
        outs.push_back(std::make_unique<DatagramBatch>());
        polls.push_back({sockets_[s].fd(), POLLIN, 0});
    }
    auto flush = [&] {
        for (std::size_t k = 0; k < outs.size(); ++k)
            if (outs[k]->size() > 0)
                counts_->sent.fetch_add(uint64_t(outs[k]->Send(polls[k].fd)),
                                        std::memory_order_relaxed);
    };
    auto connect = [&](std::size_t i) {
        const std::size_t k = i / kSpreadAddresses - firstSocket;
        Queue(i, BuildControl(MSG_CONNECT), *outs[k], polls[k].fd);
    };
    DatagramBatch in;
    std::size_t next = begin;
    std::size_t settledConnects = 0;
    auto lastRepeat = std::chrono::steady_clock::now();
    while (!stop()) {
        const bool holding = counts_->holding.load(std::memory_order_relaxed);
        for (; !holding && next < end && next - begin - settledConnects < window; ++next) {
            states_[next] = Connecting;
            tries_[next] = 1;
            connect(next);
        }
        flush();
        if (poll(polls.data(), polls.size(), 5) > 0) {
            for (std::size_t k = 0; k < polls.size(); ++k) {
                if (!(polls[k].revents & POLLIN))
                    continue;
                for (int round = 0; round < 16; ++round) {
                    const int n = in.Receive(polls[k].fd);
                    counts_->received.fetch_add(uint64_t(n), std::memory_order_relaxed);
                    for (int d = 0; d < n; ++d) {
                        const int64_t index = SpreadIndex(in.local(d));
                        const std::size_t i =
                            (firstSocket + k) * kSpreadAddresses + std::size_t(index);
                        if (index < 0 || i >= end)
                            continue; // not one of ours
                        std::span<uint8_t> bytes = in.data(d);
                        CommInvertBytes(bytes.data(), bytes.data(), int(bytes.size()));
                        const bool before = InFlight(states_[i]);
                        Handle(i, bytes, *outs[k], polls[k].fd, users);
                        settledConnects += before && !InFlight(states_[i]);
                    }
                    if (n < DatagramBatch::kCapacity)
                        break;
                }
            }
        }
        flush();
        const auto now = std::chrono::steady_clock::now();
        if (now - lastRepeat < pace_.scan)
            continue;
        lastRepeat = now;
        // A connect or match request that was lost (a full buffer somewhere) or is late: asked
        // again once it has gone unanswered for a whole scan, up to a few times, as a client does.
        for (std::size_t i = begin; i < next; ++i) {
            const State state = states_[i];
            if (holding && (state == Resting || state == Closed || state == Connecting))
                continue;
            if (state == Resting && ++tries_[i] < pace_.restScans)
                continue;
            if (state == Closed || state == Resting) {
                states_[i] = Connecting;
                tries_[i] = 1;
                --settledConnects;
                connect(i);
                continue;
            }
            if (state != Connecting && state != Asked)
                continue;
            if (!(tries_[i] & kSeen)) {
                tries_[i] |= kSeen;
                continue;
            }
            tries_[i] = uint8_t(tries_[i] & ~kSeen);
            if (tries_[i] >= (state == Connecting ? kMaxConnects : kMaxRequests)) {
                // Out of the window while it rests, so that it does not hold back the others.
                if (state == Asked)
                    counts_->open.fetch_sub(1, std::memory_order_relaxed);
                states_[i] = Resting;
                tries_[i] = 0;
                ++settledConnects;
                counts_->restarts.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            ++tries_[i];
            const std::size_t k = i / kSpreadAddresses - firstSocket;
            if (state == Connecting) {
                connect(i);
            } else {
                const MatchRecords r = users.NextWaiting();
                Queue(i, BuildMatchRequest(ids_[i], r.profile, r.requirement), *outs[k],
                      polls[k].fd);
            }
        }
    }
    flush();
}

void EndpointSwarm::Handle(std::size_t i, std::span<const uint8_t> message, DatagramBatch& out,
                           int fd, ProfileMaker& users) {
    DatagramView m(message);
    if (!m.complete())
        return;
    const int32_t id = ids_[i];
    switch (m.type()) {
    case MSG_CONNECT_ACK:
        if (states_[i] != Connecting)
            break;
        if (m.connectResult() == 1 && m.sessionId() != 0) {
            ids_[i] = m.sessionId();
            states_[i] = Granted;
            counts_->granted.fetch_add(1, std::memory_order_relaxed);
            counts_->open.fetch_add(1, std::memory_order_relaxed);
            // The user asks at once, as one who presses the button as soon as the session is
            // there. The request carries the granted id, so it proves the address too, and the
            // swarm's pace does not hang on a notice that may be lost.
            if (requestMatch_) {
                const MatchRecords r = users.NextWaiting();
                Queue(i, BuildMatchRequest(ids_[i], r.profile, r.requirement), out, fd);
                states_[i] = Asked;
                tries_[i] = 1;
            }
        } else {
            states_[i] = Refused;
            counts_->refused.fetch_add(1, std::memory_order_relaxed);
        }
        break;
    case MSG_NOTICE:
        counts_->notices.fetch_add(1, std::memory_order_relaxed);
        if (states_[i] != Granted && states_[i] != Asked && states_[i] != Waiting)
            break;
        Queue(i, BuildControl(MSG_NOTICE_ACK, id), out, fd);
        break;
    case MSG_MATCH_REQUEST_ACK:
        if (states_[i] == Asked) {
            states_[i] = Waiting;
            counts_->waiting.fetch_add(1, std::memory_order_relaxed);
            counts_->waitingNow.fetch_add(1, std::memory_order_relaxed);
        }
        break;
    case MSG_PARTNER_FOUND:
        counts_->offers.fetch_add(1, std::memory_order_relaxed);
        Queue(i, BuildControl(MSG_PARTNER_FOUND_ACK, id, m.conversationId()), out, fd);
        break;
    case MSG_TALK_START:
        Queue(i, BuildControl(MSG_TALK_START_ACK, id, m.conversationId()), out, fd);
        break;
    case MSG_TALK_PROBE:
        Queue(i, BuildControl(MSG_TALK_PROBE_ACK, id, m.conversationId()), out, fd);
        break;
    case MSG_PEER_HANGUP:
        Queue(i, BuildControl(MSG_PEER_HANGUP_ACK, id, m.conversationId()), out, fd);
        break;
    case MSG_SESSION_CLOSED:
        if (states_[i] != Granted && states_[i] != Asked && states_[i] != Waiting)
            break; // not a session of ours, or closed already
        counts_->closed.fetch_add(1, std::memory_order_relaxed);
        counts_->open.fetch_sub(1, std::memory_order_relaxed);
        if (states_[i] == Waiting)
            counts_->waitingNow.fetch_sub(1, std::memory_order_relaxed);
        states_[i] = Closed;
        break;
    default:
        break;
    }
}

} // namespace vessaro::bench
