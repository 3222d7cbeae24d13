// The server core's handling of each kind of datagram, with no kernel: a conversation is opened
// through datagrams once, then one kind is fed again and again.
#include "MatchServer.h"
#include "ProfileMaker.h"

#include <benchmark/benchmark.h>

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

void BM_ServerMalformed(benchmark::State& state) {
    TalkingCore core;
    DatagramBytes<36> junk{};
    junk[4] = 99; // no such type
    Run(state, core, junk);
}
BENCHMARK(BM_ServerMalformed);

} // namespace
} // namespace vessaro::bench
