#include "ClientSwarm.h"

#include <sys/epoll.h>
#include <unistd.h>

namespace vessaro::bench {

ClientSwarm::ClientSwarm() : epoll_(epoll_create1(EPOLL_CLOEXEC)) {}

ClientSwarm::~ClientSwarm() {
    clients_.clear();
    if (epoll_ >= 0)
        close(epoll_);
}

bool ClientSwarm::Open(std::size_t count, UdpAddress server, std::size_t perAddress,
                       uint32_t firstAddress) {
    for (std::size_t i = 0; i < count; ++i) {
        UdpSocket socket(LoopbackAddress(firstAddress + uint32_t(clients_.size() / perAddress)));
        if (!socket.valid())
            return false;
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.u64 = clients_.size();
        if (epoll_ctl(epoll_, EPOLL_CTL_ADD, socket.fd(), &e) != 0)
            return false;
        clients_.push_back(std::make_unique<SimClient>(std::move(socket), server));
    }
    return true;
}

int ClientSwarm::Pump(int timeoutMs, const std::function<void(SimClient&)>& onRead) {
    epoll_event events[256];
    int n = epoll_wait(epoll_, events, 256, timeoutMs);
    int read = 0;
    for (int i = 0; i < n; ++i) {
        SimClient& client = *clients_[events[i].data.u64];
        int got = client.Drain();
        read += got;
        if (got > 0 && onRead)
            onRead(client);
    }
    return read;
}

bool ClientSwarm::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = BenchClock::now() + timeout;
    while (!done()) {
        if (BenchClock::now() >= deadline)
            return false;
        Pump(10);
    }
    return true;
}

uint64_t ClientSwarm::reconnects() const {
    uint64_t total = 0;
    for (const auto& client : clients_)
        total += client->reconnects;
    return total;
}

std::size_t ClientSwarm::ConnectAll(std::size_t window, std::chrono::milliseconds timeout) {
    const auto deadline = BenchClock::now() + timeout;
    constexpr auto kRepeat = std::chrono::milliseconds(500); // a connect or its answer was lost
    std::vector<BenchClock::time_point> sentAt(clients_.size());
    std::size_t next = 0;
    std::size_t answered = 0;
    std::size_t granted = 0;
    auto settled = [&](std::size_t i) {
        SimClient::Phase p = clients_[i]->phase();
        return p != SimClient::Phase::Connecting && p != SimClient::Phase::Start;
    };
    while (answered < clients_.size() && BenchClock::now() < deadline) {
        const auto now = BenchClock::now();
        while (next < clients_.size() && next - answered < window) {
            sentAt[next] = now;
            clients_[next++]->Connect();
        }
        Pump(10);
        while (answered < next && settled(answered)) {
            granted += clients_[answered]->phase() == SimClient::Phase::Idle;
            ++answered;
        }
        for (std::size_t i = answered; i < next; ++i) {
            if (!settled(i) && now - sentAt[i] > kRepeat) {
                sentAt[i] = now;
                clients_[i]->Connect();
            }
        }
    }
    return granted;
}

} // namespace vessaro::bench
