#pragma once

#include "ClientEngine.h"
#include "ManualClock.h"
#include "ManualTimerService.h"
#include "Messages.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vessaro::test {

inline constexpr int32_t kSession = 0x51;
inline constexpr int32_t kConversation = 0x7C01;
inline constexpr uint32_t kClockStart = 1000;

UserProfile SampleProfile(const char* nickname);
// A view of a recorded datagram; the vector must outlive it.
inline DatagramView View(const std::vector<uint8_t>& bytes) {
    return DatagramView(bytes.data(), bytes.size());
}
MatchRequirement SampleRequirement(const char* topic);

// One engine on a manual clock. Timer ticks go straight back into the dispatcher as the loopback
// queue would bring them, so ManualTimerService::Advance runs retries and time-outs in no time.
class EngineHarness {
public:
    explicit EngineHarness(std::chrono::milliseconds ackWait = ClientEngine::kDefaultAckWait);

    template <std::size_t N>
    void Receive(const DatagramBytes<N>& message) {
        engine.Dispatch(message.data(), N);
    }
    void ReceiveControl(int32_t type, int32_t session = kSession) {
        Receive(BuildControl(type, session));
    }
    void Tick(uint32_t tag) { Receive(BuildTimerTick(tag)); }
    void Advance(uint32_t ms) { timers.Advance(ms); }

    // Walks the ordinary road to a state, then forgets what was sent and reported on the way.
    // Returns the type of the last message sent on the way (0 for none).
    int32_t DriveTo(int32_t state);
    void Forget();

    std::vector<std::vector<uint8_t>> Sent() const;
    std::vector<int32_t> SentTypes() const;
    std::vector<int32_t> EventCodes() const;
    EventBlock LastBlock() const;
    // The outcomes of texts, in the order reported: EVT_TEXT_CONFIRMED or EVT_TEXT_FAILED with the
    // text's id; EVT_TALK_ENDED (id 0) shows where the conversation's end came among them.
    std::vector<std::pair<int32_t, uint32_t>> TextOutcomes() const;

    ManualClock clock{kClockStart};
    ManualTimerService timers{clock};
    ClientEngine engine;

private:
    void Walk(int32_t state);

    mutable std::mutex mutex_;
    std::vector<std::vector<uint8_t>> sent_;
    std::vector<std::pair<int32_t, EventBlock>> events_;
};

// Collects the console lines written while it lives.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    std::string Text() const;

private:
    std::FILE* file_;
};

} // namespace vessaro::test
