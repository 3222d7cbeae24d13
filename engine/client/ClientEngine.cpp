#include "ClientEngine.h"

#include "EngineLock.h"

#include <utility>

namespace vessaro {

ClientEngine::ClientEngine(Sender sender, TimerService& timers, TimerCallback onTick, Clock& clock,
                           std::chrono::milliseconds ackWait)
    : sender_(std::move(sender)), timers_(timers), onTick_(std::move(onTick)), ackWait_(ackWait),
      profile_(EmptyProfile()), requirements_(EmptyRequirement()),
      lastSentSequence_(clock.TickCount()), lastReceivedSequence_(clock.TickCount()) {}

void ClientEngine::SetEventCallback(EngineEventCallback callback) {
    EngineLock lock(*this);
    callback_ = std::move(callback);
}

// Every way into a state arms that state's timer; the caller has cancelled the previous one (or
// the dispatcher has, for a tick). Leaving the conversation, whichever way, fails the texts not yet
// confirmed, before anything else of the way out is reported.
void ClientEngine::Enter(int32_t next) {
    if (state_.load() == CLIENT_STATE_TALKING && next != CLIENT_STATE_TALKING)
        FailAllTexts();
    state_.store(next);
    ArmStateTimer();
}

void ClientEngine::ArmStateTimer() {
    StateTimer timer = TimerOfState(state_.load());
    if (timer.dueMs == 0)
        return;
    timer_ = timers_.Set(timer.dueMs, timer.tag, onTick_);
    timerTag_ = timer.tag;
}

void ClientEngine::CancelTimer() {
    if (timer_ != 0)
        timers_.Kill(timer_);
    timer_ = 0;
    timerTag_ = 0;
}

// A tick is the time-out of the current state only when it comes from the timer now armed. A
// tick that was already queued when its timer was cancelled is stale: it would otherwise count as
// the time-out of whatever state came next (and, for instance, end a fresh 35 s offer at once).
// Each state arms its own tag, so the tag tells the two apart.
bool ClientEngine::TakeTick(const DatagramView& tick) {
    if (timer_ == 0 || tick.timerTag() != timerTag_)
        return false;
    CancelTimer();
    return true;
}

void ClientEngine::SendControl(int32_t type) {
    int32_t session = type == MSG_CONNECT ? 0 : sessionId_;
    int32_t conversation = ProtocolOf(type) == PROTO_TALK ? conversationId_ : 0;
    Send(BuildControl(type, session, conversation));
}

void ClientEngine::Report(int32_t code, EventBlock block) {
    if (callback_)
        callback_(code, std::move(block));
}

} // namespace vessaro
