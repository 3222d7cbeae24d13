// The client engine's receive dispatcher, on a manual clock and timers, with a sender that only
// counts: the cost of the state machine for each message a talking client receives.
#include "ClientEngine.h"
#include "Console.h"
#include "ManualTimerService.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace vessaro {
namespace {

constexpr int32_t kSession = 7;
constexpr int32_t kConversation = 9;

class TalkingEngine {
public:
    TalkingEngine()
        : engine_([this](const uint8_t*, std::size_t) { return ++sent_, 0; }, timers_,
                  [](uint32_t) {}, timers_.clock()) {
        static std::FILE* null = std::fopen("/dev/null", "w");
        SetConsoleStream(null); // the dispatcher's console lines are not measured output
        engine_.SetEventCallback([this](int32_t, EventBlock) { ++events_; });
        engine_.Connect();
        Feed(BuildConnectAck(kSession, 1));
        engine_.RequestMatch(EmptyProfile(), EmptyRequirement());
        Feed(BuildControl(MSG_MATCH_REQUEST_ACK, kSession));
        Feed(BuildPartnerFound(kSession, kConversation, EmptyProfile()));
        engine_.Accept();
        Feed(BuildControl(MSG_ACCEPT_ACK, kSession, kConversation));
        Feed(BuildControl(MSG_TALK_START, kSession, kConversation));
    }

    template <std::size_t N>
    void Feed(const DatagramBytes<N>& m) {
        engine_.Dispatch(m.data(), N);
    }
    bool talking() const { return engine_.state() == CLIENT_STATE_TALKING; }
    uint64_t events() const { return events_; }

private:
    ManualTimerService timers_;
    ClientEngine engine_;
    uint64_t sent_ = 0;
    uint64_t events_ = 0;
};

void BM_EngineIncomingText(benchmark::State& state) {
    TalkingEngine engine;
    if (!engine.talking())
        state.SkipWithError("the engine did not reach the talking state");
    const TalkText text = MakeTalkText("incoming line of text");
    uint32_t sequence = 1;
    for (auto _ : state)
        engine.Feed(BuildTalkText(kSession, kConversation, sequence++, text));
    benchmark::DoNotOptimize(engine.events());
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_EngineIncomingText);

void BM_EngineProbe(benchmark::State& state) {
    TalkingEngine engine;
    const auto probe = BuildControl(MSG_TALK_PROBE, kSession, kConversation);
    for (auto _ : state)
        engine.Feed(probe);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_EngineProbe);

void BM_EngineStaleAck(benchmark::State& state) {
    TalkingEngine engine;
    const auto ack = BuildTalkAck(kSession, kConversation, 12345, 0);
    for (auto _ : state)
        engine.Feed(ack);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_EngineStaleAck);

void BM_EngineForeignSession(benchmark::State& state) {
    TalkingEngine engine;
    const auto other = BuildControl(MSG_TALK_PROBE, kSession + 1, kConversation);
    for (auto _ : state)
        engine.Feed(other);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_EngineForeignSession);

} // namespace
} // namespace vessaro
