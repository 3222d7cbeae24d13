#pragma once

#include "ClientStates.h"
#include "EngineEvents.h"
#include "Messages.h"
#include "Records.h"
#include "TextOutcomes.h"
#include "TimerService.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
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
// whole transition. Texts are queued (PostText) and sent one at a time, each copy and each wait
// for the acknowledgement driven by a timer of its own; SendText only waits for the outcome,
// without the lock.
class ClientEngine {
public:
    using Sender = std::function<int(const uint8_t* data, std::size_t length)>;
    static constexpr std::chrono::milliseconds kDefaultAckWait{500};
    // Texts that may wait behind the one on the wire.
    static constexpr std::size_t kMaxWaitingTexts = 256;

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
    // Runs change under the engine lock when the engine has no session (and no connect under
    // way) and returns its result; -1 without running it otherwise.
    int WhileDisconnected(const std::function<int()>& change);
    int RequestMatch(const UserProfile& profile, const MatchRequirement& requirement);
    int CancelMatch();
    int Accept();
    int Refuse();
    int HangUp();
    // Queues a text and returns at once with its id (> 0, increasing), or 0 when refused (not in
    // CLIENT_STATE_TALKING, or kMaxWaitingTexts already wait). Exactly one EVT_TEXT_CONFIRMED or
    // EVT_TEXT_FAILED with that id follows.
    uint32_t PostText(const TalkText& text);
    // Posts a text and blocks until it is settled: 0 confirmed, -1 refused or failed. Never call it
    // on the thread that dispatches, or nothing can settle it.
    int SendText(const TalkText& text);
    // Releases every SendText that waits, now or later, with -1 (the process is shutting down and
    // nothing will settle them).
    void ReleaseTextWaits() { outcomes_.Close(); }
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
    uint32_t QueueText(const TalkText& text);
    void SendNextText();
    void SendTextCopy();
    bool TakeTextTick(const DatagramView& tick);
    void OnTextWaitOver();
    void SettleFirstText(int32_t code);
    void FailAllTexts();

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
    uint32_t lastSentSequence_;
    uint32_t lastReceivedSequence_;
    bool textReceivedInConversation_ = false;
    // EVT_TALK_ENDED has been reported for the current offer: one offer, one end.
    bool talkEndReported_ = false;

    // Texts not yet settled, in the order posted. The first is on the wire (as textMessage_, with
    // the sequence lastSentSequence_) and the others wait; the queue is empty outside state 10.
    struct OutgoingText {
        uint32_t id;
        TalkText text;
    };
    std::deque<OutgoingText> texts_;
    DatagramBytes<560> textMessage_{};
    int32_t textCopies_ = 0;    // copies of the first text sent so far
    TimerHandle textTimer_ = 0; // the wait for its acknowledgement; 0: none armed
    uint32_t textTimerTag_ = 0; // a new tag for each wait, so that a stale tick is told apart
    uint32_t textWaits_ = 0;    // waits armed so far, which picks the next tag
    uint32_t lastTextId_ = 0;
    TextOutcomes outcomes_;
};

} // namespace vessaro
