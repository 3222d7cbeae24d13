#pragma once

#include "AutoResetEvent.h"
#include "ClientStates.h"
#include "EngineEvents.h"
#include "Messages.h"
#include "Records.h"
#include "TimerService.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vessaro {

// The protocol logic of the client: session, matching and conversation. It has no I/O of its own:
// messages arrive through Dispatch (server datagrams and timer ticks, one at a time), datagrams
// leave through the injected sender, waits are one-shot timers of the injected service whose
// callback must bring a MSG_TIMER tick back through Dispatch, and outcomes are reported through
// the event callback, with the engine's lock held.
//
// Every state-changing call and every dispatched message holds the lock (EngineLock) for its
// whole transition; SendText holds it only while it prepares the text, so that the acknowledgement
// can be dispatched while it waits.
class ClientEngine {
public:
    using Sender = std::function<int(const uint8_t* data, std::size_t length)>;
    static constexpr std::chrono::milliseconds kDefaultAckWait{500};

    // The clock is read once for each text sequence, which start at its tick count.
    ClientEngine(Sender sender, TimerService& timers, TimerCallback onTick, Clock& clock,
                 std::chrono::milliseconds ackWait = kDefaultAckWait);
    ClientEngine(const ClientEngine&) = delete;
    ClientEngine& operator=(const ClientEngine&) = delete;

    // The receive dispatcher: one message laid out as on the wire (after the byte complement).
    void Dispatch(const uint8_t* message, std::size_t length);

    void SetEventCallback(EngineEventCallback callback);

    // The interface calls: 0 when done, -1 when the state does not allow them.
    int Connect();
    int Disconnect(); // in state 1 abandons the attempt, reports EVT_DISCONNECTED, returns -1
    int RequestMatch(const UserProfile& profile, const MatchRequirement& requirement);
    int CancelMatch();
    int Accept();
    int Refuse();
    int HangUp();
    int SendText(const TalkText& text); // blocks for up to three acknowledgement waits
    int SendFile(const char* fileName, const uint8_t* data, uint32_t length);

    // The current state; readable at any time, also from the event callback.
    int32_t state() const { return state_.load(); }

private:
    friend class EngineLock;

    // Transitions and their tools; all run with the lock held.
    void Enter(int32_t next);
    void ArmStateTimer();
    void ArmQueryTimer();
    void CancelTimer();
    bool TakeTick(const DatagramView& tick);
    void SendControl(int32_t type);
    template <std::size_t N>
    void Send(const DatagramBytes<N>& message) {
        sender_(message.data(), N);
    }
    void Report(int32_t code, EventBlock block = {});
    void LoseSession();
    void LoseSessionInConversation();
    void EndConversation();
    void ReportTalkEnded();
    void StartHangUp();
    void OnNotice(const DatagramView& m);
    void OnPeerHangUp();

    // Session and matching states.
    void OnConnectSent(const DatagramView& m, bool tick);
    void OnKeepAliveState(const DatagramView& m, bool tick);
    void OnMatchSent(const DatagramView& m, bool tick);
    void OnPartnerOffered(const DatagramView& m);
    void OnMatchCancelSent(const DatagramView& m, bool tick);
    void OnDisconnectSent(const DatagramView& m, bool tick);

    // Conversation states.
    void OnPartnerFound(const DatagramView& m, bool tick);
    void OnAcceptSent(const DatagramView& m, bool tick);
    void OnAccepted(const DatagramView& m, bool tick);
    void OnRefuseSent(const DatagramView& m, bool tick);
    void OnTalking(const DatagramView& m, bool tick);
    void OnHangUpSent(const DatagramView& m, bool tick);

    // Text exchange.
    void OnTalkText(const DatagramView& m);
    void OnTalkData(const DatagramView& m);
    bool IsRepeatedText(uint32_t sequence) const;

    mutable std::mutex mutex_;
    Sender sender_;
    TimerService& timers_;
    TimerCallback onTick_;
    std::chrono::milliseconds ackWait_;

    UserProfile profile_;
    MatchRequirement requirements_;
    std::atomic<int32_t> state_{CLIENT_STATE_DISCONNECTED};
    EngineEventCallback callback_;
    TimerHandle timer_ = 0; // 0: none armed
    uint32_t timerTag_ = 0;
    int32_t retryCount_ = 0;
    int32_t silenceCount_ = 0;
    int32_t queryTicksLeft_ = 0; // one-second ticks left before the next keep-alive tick (state 10)
    int32_t sessionId_ = 0;
    int32_t conversationId_ = 0;
    AutoResetEvent acknowledged_;
    uint32_t lastSentSequence_;
    uint32_t lastReceivedSequence_;
    bool textReceivedInConversation_ = false;
    // EVT_TALK_ENDED has been reported for the current offer: one offer, one end.
    bool talkEndReported_ = false;
};

} // namespace vessaro
