#include "LoadGenerator.h"

#include "ServerUnderTest.h"

#include <atomic>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace vessaro::bench {
namespace {

// One thread's share of the clients, watched by its own epoll set.
class LoadThread {
public:
    LoadThread(std::vector<SimClient*> clients, int window)
        : clients_(std::move(clients)), lost_(clients_.size(), 0), lastAcks_(clients_.size(), 0),
          window_(window), epoll_(epoll_create1(EPOLL_CLOEXEC)) {
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.u64 = i;
            epoll_ctl(epoll_, EPOLL_CTL_ADD, clients_[i]->socket().fd(), &e);
        }
    }
    ~LoadThread() { close(epoll_); }

    std::atomic<uint64_t> delivered{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> timeRtt{false}; // applied by the thread itself, which owns the clients

    void Run() {
        for (std::size_t i = 0; i < clients_.size(); ++i)
            TopUp(i);
        DatagramBatch in;
        auto lastCheck = BenchClock::now();
        uint64_t read = 0;
        bool timing = false;
        while (!stop.load(std::memory_order_relaxed)) {
            if (!timing && timeRtt.load(std::memory_order_relaxed)) {
                timing = true;
                KeepRtt(true);
            }
            epoll_event events[256];
            const int n = epoll_wait(epoll_, events, 256, 5);
            for (int e = 0; e < n; ++e) {
                const std::size_t i = events[e].data.u64;
                read += uint64_t(clients_[i]->DrainBatched(in));
                TopUp(i);
            }
            delivered.store(read, std::memory_order_relaxed);
            if (BenchClock::now() - lastCheck > std::chrono::milliseconds(100)) {
                lastCheck = BenchClock::now();
                ForgetLost();
            }
        }
    }

    void KeepRtt(bool keep) {
        for (SimClient* c : clients_) {
            c->keepRtt = keep;
            c->rttMicros.clear();
        }
    }
    void CollectRtt(std::vector<double>& into) const {
        for (SimClient* c : clients_)
            into.insert(into.end(), c->rttMicros.begin(), c->rttMicros.end());
    }

private:
    // Sends until the client has its window of texts in flight, then flushes what it queued.
    void TopUp(std::size_t i) {
        SimClient& c = *clients_[i];
        // Acknowledgements of texts written off may still come: never count below zero.
        int64_t out = int64_t(c.textsSent) - int64_t(c.acksReceived) - int64_t(lost_[i]);
        if (out < 0) {
            lost_[i] =
                uint64_t(std::max<int64_t>(0, int64_t(c.textsSent) - int64_t(c.acksReceived)));
            out = 0;
        }
        for (; out < window_; ++out)
            c.SendText();
        c.Flush();
    }
    // A client whose acknowledgements stopped for 100 ms has lost its texts in flight (a full
    // buffer somewhere): they are written off so that it sends again.
    void ForgetLost() {
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            SimClient& c = *clients_[i];
            if (c.acksReceived == lastAcks_[i] && c.textsSent > c.acksReceived + lost_[i]) {
                lost_[i] = c.textsSent - c.acksReceived;
                TopUp(i);
            }
            lastAcks_[i] = c.acksReceived;
        }
    }

    std::vector<SimClient*> clients_;
    std::vector<uint64_t> lost_;
    std::vector<uint64_t> lastAcks_;
    int window_;
    int epoll_;
};

} // namespace

double OwnCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

LoadResult DriveRelayLoad(ClientSwarm& swarm, int measuredPid, const LoadShape& shape) {
    const int threadCount = std::max(1, std::min<int>(shape.threads, int(swarm.size())));
    std::vector<std::unique_ptr<LoadThread>> loads;
    for (int t = 0; t < threadCount; ++t) {
        std::vector<SimClient*> share;
        // Partners (2p, 2p+1) stay on one thread, so each pair's traffic is one thread's.
        for (std::size_t i = 0; i < swarm.size(); ++i)
            if (int(i / 2 % std::size_t(threadCount)) == t) {
                swarm[i].UseBatches();
                swarm[i].ResetCounters();
                swarm[i].keepRtt = false;
                share.push_back(&swarm[i]);
            }
        loads.push_back(std::make_unique<LoadThread>(std::move(share), shape.window));
    }
    std::vector<std::thread> threads;
    for (auto& l : loads)
        threads.emplace_back([&l] { l->Run(); });
    auto delivered = [&] {
        uint64_t total = 0;
        for (auto& l : loads)
            total += l->delivered.load(std::memory_order_relaxed);
        return total;
    };
    std::this_thread::sleep_for(std::chrono::duration<double>(std::min(0.3, shape.seconds / 4)));
    for (auto& l : loads)
        l->timeRtt = shape.window == 1;
    const std::optional<ProcessUsage> before = ReadProcessUsage(measuredPid);
    const double ownBefore = OwnCpuSeconds();
    const uint64_t deliveredBefore = delivered();
    const auto start = BenchClock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(shape.seconds));
    const std::optional<ProcessUsage> after = ReadProcessUsage(measuredPid);
    const double ownAfter = OwnCpuSeconds();
    LoadResult r;
    r.delivered = delivered() - deliveredBefore;
    r.seconds = std::chrono::duration<double>(BenchClock::now() - start).count();
    for (auto& l : loads)
        l->stop = true;
    for (std::thread& t : threads)
        t.join();
    if (before && after)
        r.measuredCpuSeconds = after->cpuSeconds - before->cpuSeconds;
    r.generatorCpuSeconds = ownAfter - ownBefore;
    std::vector<double> rtt;
    for (auto& l : loads)
        l->CollectRtt(rtt);
    const Spread spread = Summarise(std::move(rtt));
    r.rttMedian = spread.median;
    r.rttP99 = spread.p99;
    r.rttCount = spread.count;
    return r;
}

} // namespace vessaro::bench
