// The server core's handling of each kind of datagram, with no kernel: a conversation is opened
// through datagrams once, then one kind is fed again and again. Last, the waiting pool on its own.
#include "CoreUnderTest.h"
#include "MatchPool.h"
#include "MatchServer.h"
#include "ProfileMaker.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace vessaro::bench {
namespace {

constexpr int64_t kNow = 1000;

class TalkingCore {
public:
    TalkingCore()
        : core_(
              Config(), [this](const Endpoint&, std::span<const uint8_t> d) { OnSent(d); },
              [this] { return ++nextId_; }) {
        a_ = Connect(alice_);
        b_ = Connect(bob_);
        for (int side = 0; side < 2; ++side) {
            MatchRecords r = ProfileMaker::Pairable(0, side);
            core_.OnDatagram(side ? bob_ : alice_,
                             BuildMatchRequest(side ? b_ : a_, r.profile, r.requirement), kNow);
        }
        core_.OnDatagram(alice_, BuildControl(MSG_ACCEPT, a_, conversation_), kNow);
        core_.OnDatagram(bob_, BuildControl(MSG_ACCEPT, b_, conversation_), kNow);
    }

    void Feed(std::span<const uint8_t> datagram, bool fromBob = false) {
        core_.OnDatagram(fromBob ? bob_ : alice_, datagram, kNow);
    }
    void FeedFrom(const Endpoint& from, std::span<const uint8_t> datagram) {
        core_.OnDatagram(from, datagram, kNow);
    }
    int32_t alice() const { return a_; }
    int32_t conversation() const { return conversation_; }
    uint64_t sent() const { return sent_; }

private:
    static ServerConfig Config() {
        ServerConfig c;
        c.textsPerSecondPerSession = 1e15; // the bucket's burst outlasts any run
        c.datagramsPerSecondPerAddress = 1e15;
        return c;
    }
    int32_t Connect(const Endpoint& from) {
        core_.OnDatagram(from, BuildControl(MSG_CONNECT), kNow);
        return granted_;
    }
    void OnSent(std::span<const uint8_t> d) {
        ++sent_;
        DatagramView m(d);
        if (m.type() == MSG_CONNECT_ACK)
            granted_ = m.sessionId();
        if (m.type() == MSG_PARTNER_FOUND)
            conversation_ = m.conversationId();
    }

    uint32_t nextId_ = 100;
    MatchServer core_;
    Endpoint alice_{0x0A000001, 5000};
    Endpoint bob_{0x0A000002, 5000};
    int32_t a_ = 0, b_ = 0, granted_ = 0, conversation_ = 0;
    uint64_t sent_ = 0;
};

template <std::size_t N>
void Run(benchmark::State& state, TalkingCore& core, const DatagramBytes<N>& datagram) {
    for (auto _ : state)
        core.Feed(datagram);
    benchmark::DoNotOptimize(core.sent());
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_ServerTalkText(benchmark::State& state) {
    TalkingCore core;
    Run(state, core,
        BuildTalkText(core.alice(), core.conversation(), 1, MakeTalkText("hello there")));
}
BENCHMARK(BM_ServerTalkText);

void BM_ServerTalkAck(benchmark::State& state) {
    TalkingCore core;
    Run(state, core, BuildTalkAck(core.alice(), core.conversation(), 1, 0));
}
BENCHMARK(BM_ServerTalkAck);

void BM_ServerProbeAck(benchmark::State& state) {
    TalkingCore core;
    Run(state, core, BuildControl(MSG_TALK_PROBE_ACK, core.alice(), core.conversation()));
}
BENCHMARK(BM_ServerProbeAck);

void BM_ServerNoticeAck(benchmark::State& state) {
    TalkingCore core;
    Run(state, core, BuildControl(MSG_NOTICE_ACK, core.alice()));
}
BENCHMARK(BM_ServerNoticeAck);

void BM_ServerTalkStartAck(benchmark::State& state) {
    TalkingCore core;
    Run(state, core, BuildControl(MSG_TALK_START_ACK, core.alice(), core.conversation()));
}
BENCHMARK(BM_ServerTalkStartAck);

// A repeated connect from a known endpoint: the session is found and given back.
void BM_ServerRepeatedConnect(benchmark::State& state) {
    TalkingCore core;
    Run(state, core, BuildControl(MSG_CONNECT));
}
BENCHMARK(BM_ServerRepeatedConnect);

// A request and its cancel, so that the pool stays as it was.
void BM_ServerMatchRequestAndCancel(benchmark::State& state) {
    TalkingCore core;
    MatchRecords r = ProfileMaker::Pairable(99, 0);
    auto request = BuildMatchRequest(core.alice(), r.profile, r.requirement);
    auto cancel = BuildControl(MSG_MATCH_CANCEL, core.alice());
    for (auto _ : state) {
        core.Feed(request);
        core.Feed(cancel);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2);
}
BENCHMARK(BM_ServerMatchRequestAndCancel);

void BM_ServerUnknownSession(benchmark::State& state) {
    TalkingCore core;
    Run(state, core, BuildControl(MSG_NOTICE_ACK, 12345));
}
BENCHMARK(BM_ServerUnknownSession);

// Connects from ever new forged endpoints over 65,536 addresses of 256 networks, as a flood brings
// them: each is granted (its network's budget permitting) and remembered as unproven.
void BM_ServerForgedConnect(benchmark::State& state) {
    TalkingCore core;
    auto connect = BuildControl(MSG_CONNECT);
    uint32_t n = 0;
    for (auto _ : state) {
        core.FeedFrom(Endpoint{0x0B000000u | (n & 0xFFFF), uint16_t(1024 + (n >> 16))}, connect);
        ++n;
    }
    benchmark::DoNotOptimize(core.sent());
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_ServerForgedConnect);

void BM_ServerMalformed(benchmark::State& state) {
    TalkingCore core;
    DatagramBytes<36> junk{};
    junk[4] = 99; // no such type
    Run(state, core, junk);
}
BENCHMARK(BM_ServerMalformed);

// The waiting pool alone, with as many users waiting as the argument says, made as in the matching
// scenario (none of them can be paired with another). Filling a large pool takes a while, so
// each size is filled once and shared by the runs, each of which leaves the same users waiting.
class WaitingPool {
public:
    static WaitingPool& Shared(std::size_t waiting) {
        static std::map<std::size_t, std::unique_ptr<WaitingPool>> pools;
        auto& pool = pools[waiting];
        if (!pool)
            pool = std::make_unique<WaitingPool>(waiting);
        return *pool;
    }

    explicit WaitingPool(std::size_t waiting) : users_(11) {
        for (std::size_t i = 0; i < waiting; ++i)
            waiting_.push_back(Make(users_.NextWaiting()));
        const std::size_t before = HeapInUse();
        for (std::size_t i = 0; i < waiting; ++i)
            pool_.Add(int32_t(i + 1), waiting_[i], nextArrival_++);
        bytesPerWaiter_ = double(HeapInUse() - before) / double(std::max<std::size_t>(1, waiting));
        for (MatchCandidate& c : seekers_)
            c = Make(users_.Next());
        for (MatchCandidate& c : newcomers_)
            c = Make(users_.NextWaiting());
    }

    MatchPool& pool() { return pool_; }
    // Memory taken by the pool per waiting user when filled (its topic index only; a relaxed user
    // is filed in a second index too).
    double bytesPerWaiter() const { return bytesPerWaiter_; }
    const MatchCandidate& Seeker(std::size_t i) const { return seekers_[i % seekers_.size()]; }
    // A user found waiting joins again, as the newest: the pool keeps its users and size.
    void Requeue(int32_t id) { pool_.Add(id, waiting_[std::size_t(id - 1)], nextArrival_++); }
    std::size_t newcomers() const { return newcomers_.size(); }
    int32_t NewcomerId(std::size_t k) const { return int32_t(waiting_.size() + 1 + k); }
    void Join(std::size_t k) {
        pool_.Add(NewcomerId(k), newcomers_[k], nextArrival_++);
        pool_.Relax(NewcomerId(k));
    }

private:
    // Memory the process holds in RAM: what the pool asks for and never touches is not counted.
    static std::size_t HeapInUse() {
        std::size_t size = 0, resident = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%zu %zu", &size, &resident) != 2)
                resident = 0;
            std::fclose(statm);
        }
        return resident * std::size_t(sysconf(_SC_PAGESIZE));
    }
    static MatchCandidate Make(const MatchRecords& r) {
        return MatchCandidate::From(r.profile, r.requirement);
    }

    ProfileMaker users_;
    MatchPool pool_;
    std::vector<MatchCandidate> waiting_; // by id - 1
    std::vector<MatchCandidate> seekers_ = std::vector<MatchCandidate>(4096);
    std::vector<MatchCandidate> newcomers_ = std::vector<MatchCandidate>(4096);
    uint64_t nextArrival_ = 1;
    double bytesPerWaiter_ = 0;
};

// A seeker of any kind looks for a partner of its topic, and a partner found is taken out of the
// pool and filed again (as a pairing followed by a newcomer would). "found" is the share of
// seekers that found one.
void BM_MatchPoolSeek(benchmark::State& state) {
    WaitingPool& w = WaitingPool::Shared(std::size_t(state.range(0)));
    std::size_t i = 0;
    int64_t found = 0;
    for (auto _ : state) {
        if (std::optional<int32_t> partner = w.pool().FindSameTopic(w.Seeker(i++))) {
            w.Requeue(*partner);
            ++found;
        }
    }
    state.counters["found"] = double(found) / double(std::max<int64_t>(1, state.iterations()));
    state.counters["bytes_per_waiter"] = w.bytesPerWaiter();
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_MatchPoolSeek)->Arg(1000)->Arg(100000)->Arg(1000000);

// As BM_MatchPoolSeek, each request timed on its own: "p50_ns" and "p99_ns" are the median and
// 99th percentile of a request's time (on a shared machine the tail includes other programs).
void BM_MatchPoolSeekMedian(benchmark::State& state) {
    WaitingPool& w = WaitingPool::Shared(std::size_t(state.range(0)));
    std::vector<int64_t> times;
    times.reserve(1 << 20);
    std::size_t i = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::optional<int32_t> partner = w.pool().FindSameTopic(w.Seeker(i++)))
            w.Requeue(*partner);
        const auto took = std::chrono::steady_clock::now() - start;
        if (times.size() < times.capacity())
            times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count());
    }
    auto at = [&](double share) {
        if (times.empty())
            return 0.0;
        auto nth = times.begin() + std::ptrdiff_t(share * double(times.size() - 1));
        std::nth_element(times.begin(), nth, times.end());
        return double(*nth);
    };
    state.counters["p50_ns"] = at(0.5);
    state.counters["p99_ns"] = at(0.99);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_MatchPoolSeekMedian)->Arg(1000)->Arg(1000000);

// A newcomer joins the pool and relaxes, and leaves a few thousand newcomers later: filing and
// unfiling in both indexes at a steady pool size.
void BM_MatchPoolJoinAndLeave(benchmark::State& state) {
    WaitingPool& w = WaitingPool::Shared(std::size_t(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t k = i++ % w.newcomers();
        w.pool().Remove(w.NewcomerId(k));
        w.Join(k);
    }
    for (std::size_t k = 0; k < w.newcomers(); ++k)
        w.pool().Remove(w.NewcomerId(k));
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_MatchPoolJoinAndLeave)->Arg(1000)->Arg(100000);

// A whole match request through the core (session, acknowledgement, records, the pool's search,
// then filing or the offer), against a core whose pool holds as many users as the argument says,
// made as in the matching scenario. Each request comes from a session of its own, opened and the
// request built before the clock starts; "p50_ns" and "p99_ns" are the median and 99th percentile
// of one request, "paired" the share that got an offer at once.
class WaitingCore {
public:
    static constexpr std::size_t kSeekers = 20000;

    static WaitingCore& Shared(std::size_t waiting) {
        static std::map<std::size_t, std::unique_ptr<WaitingCore>> cores;
        auto& core = cores[waiting];
        if (!core)
            core = std::make_unique<WaitingCore>(waiting);
        return *core;
    }

    explicit WaitingCore(std::size_t waiting) {
        ProfileMaker users(11);
        for (std::size_t i = 0; i < waiting; ++i)
            core_.Request(core_.Connect(), users.NextWaiting());
        for (std::size_t i = 0; i < kSeekers; ++i) {
            const int32_t session = core_.Connect();
            core_.Prove(session);
            seekers_.push_back(core_.Prepare(session, users.Next()));
        }
    }

    // Requests not yet used; false once all have been.
    bool Deliver(std::size_t i) {
        if (i >= seekers_.size())
            return false;
        core_.Deliver(seekers_[i]);
        return true;
    }
    uint64_t offers() const { return core_.offers(); }

private:
    CoreUnderTest core_;
    std::vector<CoreUnderTest::Arriving> seekers_;
};

void BM_ServerMatchRequestMedian(benchmark::State& state) {
    WaitingCore& w = WaitingCore::Shared(std::size_t(state.range(0)));
    static std::map<int64_t, std::size_t> used; // requests already spent, per pool size
    std::size_t& next = used[state.range(0)];
    std::vector<int64_t> times;
    times.reserve(WaitingCore::kSeekers);
    const uint64_t offersBefore = w.offers();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool delivered = w.Deliver(next++);
        const auto took = std::chrono::steady_clock::now() - start;
        if (!delivered) {
            state.SkipWithError("out of prepared requests");
            break;
        }
        times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count());
    }
    auto at = [&](double share) {
        if (times.empty())
            return 0.0;
        auto nth = times.begin() + std::ptrdiff_t(share * double(times.size() - 1));
        std::nth_element(times.begin(), nth, times.end());
        return double(*nth);
    };
    state.counters["p50_ns"] = at(0.5);
    state.counters["p99_ns"] = at(0.99);
    state.counters["paired"] =
        double(w.offers() - offersBefore) / 2 / double(std::max<std::size_t>(1, times.size()));
    state.SetItemsProcessed(int64_t(times.size()));
}
BENCHMARK(BM_ServerMatchRequestMedian)->Arg(1000)->Arg(1000000)->Iterations(5000);

} // namespace
} // namespace vessaro::bench
