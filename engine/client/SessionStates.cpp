// The receive dispatcher with its session filter, notices, and the session and matching states.
#include "ClientEngine.h"
#include "EngineLock.h"

namespace vessaro {
namespace {

bool TakesNotices(int32_t state) {
    return state >= CLIENT_STATE_CONNECTED && state <= CLIENT_STATE_HANGUP_SENT;
}

bool InOfferOrConversation(int32_t state) {
    return state >= CLIENT_STATE_PARTNER_FOUND && state <= CLIENT_STATE_HANGUP_SENT;
}

} // namespace

void ClientEngine::Dispatch(const uint8_t* message, std::size_t length) {
    DatagramView m(message, length);
    if (!m.complete())
        return;
    EngineLock lock(*this);
    bool tick = m.type() == MSG_TIMER;
    if (!tick) {
        // Once a session is granted, only its own datagrams are heard; they alone count as a
        // sign of life.
        if (sessionId_ != 0 && m.sessionId() != sessionId_)
            return;
        silenceCount_ = 0;
    } else if (TakeTextTick(m)) {
        OnTextWaitOver();
        return;
    } else if (!TakeTick(m)) {
        return;
    }
    int32_t state = state_.load();
    if (!tick && m.type() == MSG_NOTICE && TakesNotices(state)) {
        OnNotice(m);
        return;
    }
    // The server no longer knows the session (it was restarted, or dropped it): whatever offer
    // or conversation was under way cannot go on. Only the server's own address reaches the
    // dispatcher, so a third party cannot end a conversation this way.
    if (!tick && m.type() == MSG_SESSION_CLOSED && InOfferOrConversation(state)) {
        LoseSessionInConversation();
        return;
    }
    switch (state) {
    case CLIENT_STATE_CONNECT_SENT:
        return OnConnectSent(m, tick);
    case CLIENT_STATE_CONNECTED:
    case CLIENT_STATE_MATCHING:
        return OnKeepAliveState(m, tick);
    case CLIENT_STATE_MATCH_SENT:
        return OnMatchSent(m, tick);
    case CLIENT_STATE_MATCH_CANCEL_SENT:
        return OnMatchCancelSent(m, tick);
    case CLIENT_STATE_PARTNER_FOUND:
        return OnPartnerFound(m, tick);
    case CLIENT_STATE_ACCEPT_SENT:
        return OnAcceptSent(m, tick);
    case CLIENT_STATE_ACCEPTED:
        return OnAccepted(m, tick);
    case CLIENT_STATE_REFUSE_SENT:
        return OnRefuseSent(m, tick);
    case CLIENT_STATE_TALKING:
        return OnTalking(m, tick);
    case CLIENT_STATE_HANGUP_SENT:
        return OnHangUpSent(m, tick);
    case CLIENT_STATE_DISCONNECT_SENT:
        return OnDisconnectSent(m, tick);
    default: // disconnected: nothing is expected
        return;
    }
}

// A notice changes neither state nor timer: acknowledge it and hand it on.
void ClientEngine::OnNotice(const DatagramView& m) {
    SendControl(MSG_NOTICE_ACK);
    silenceCount_ = 0;
    Report(EVT_NOTICE, MakeNoticeBlock(m.noticeValue(), m.noticeText()));
}

void ClientEngine::LoseSession() {
    CancelTimer();
    retryCount_ = 0;
    Enter(CLIENT_STATE_DISCONNECTED);
    Report(EVT_DISCONNECTED);
}

// The offer or conversation ends first (reported unless its end already was), then the session.
// The state is already 0 when the events are reported, so no reaction to them can start anything
// more on the old session.
void ClientEngine::LoseSessionInConversation() {
    CancelTimer();
    retryCount_ = 0;
    Enter(CLIENT_STATE_DISCONNECTED);
    Report(EVT_SERVER_LOST);
    ReportTalkEnded();
    Report(EVT_DISCONNECTED);
}

void ClientEngine::OnConnectSent(const DatagramView& m, bool tick) {
    if (tick) {
        if (++retryCount_ < kRetryCopies) {
            SendControl(MSG_CONNECT);
            ArmStateTimer();
        } else {
            Enter(CLIENT_STATE_DISCONNECTED);
            Report(EVT_CONNECT_FAILED);
        }
        return;
    }
    if (m.type() != MSG_CONNECT_ACK)
        return;
    CancelTimer();
    if (m.connectResult() == 0) {
        Enter(CLIENT_STATE_DISCONNECTED);
        Report(EVT_CONNECT_FAILED);
        return;
    }
    sessionId_ = m.sessionId();
    retryCount_ = 0;
    Enter(CLIENT_STATE_CONNECTED);
    Report(EVT_CONNECTED);
}

// States 2 and 4 expect to hear from the server: five keep-alive ticks in a row without a datagram
// of the session lose it; the later silent ticks ask whether the server still knows the session.
void ClientEngine::OnKeepAliveState(const DatagramView& m, bool tick) {
    if (tick) {
        if (++silenceCount_ < kSilentTicksAllowed) {
            if (silenceCount_ >= kQueryAfterSilentTicks)
                SendControl(MSG_NOTICE_ACK);
            ArmStateTimer();
        } else {
            Enter(CLIENT_STATE_DISCONNECTED);
            Report(EVT_DISCONNECTED);
        }
        return;
    }
    if (m.type() == MSG_SESSION_CLOSED)
        LoseSession();
    else if (m.type() == MSG_PARTNER_FOUND && state_.load() == CLIENT_STATE_MATCHING)
        OnPartnerOffered(m);
}

void ClientEngine::OnMatchSent(const DatagramView& m, bool tick) {
    if (tick) {
        if (++retryCount_ < kRetryCopies) {
            Send(BuildMatchRequest(sessionId_, profile_, requirements_));
            ArmStateTimer();
        } else {
            retryCount_ = 0;
            Enter(CLIENT_STATE_CONNECTED);
            Report(EVT_MATCH_FAILED);
        }
        return;
    }
    if (m.type() == MSG_SESSION_CLOSED) {
        // Waiting for the acknowledgement would only end in EVT_MATCH_FAILED on a session that
        // no longer exists.
        LoseSession();
        return;
    }
    if (m.type() != MSG_MATCH_REQUEST_ACK)
        return;
    CancelTimer();
    retryCount_ = 0;
    Enter(CLIENT_STATE_MATCHING);
    Report(EVT_MATCHING);
}

// A new offer opens a new conversation: its first text is new whatever its sequence.
void ClientEngine::OnPartnerOffered(const DatagramView& m) {
    CancelTimer();
    conversationId_ = m.conversationId();
    SendControl(MSG_PARTNER_FOUND_ACK);
    retryCount_ = 0;
    textReceivedInConversation_ = false;
    talkEndReported_ = false;
    Enter(CLIENT_STATE_PARTNER_FOUND);
    Report(EVT_PARTNER_FOUND, MakePartnerBlock(m.partnerProfile(), profile_));
}

void ClientEngine::OnMatchCancelSent(const DatagramView& m, bool tick) {
    if (tick) {
        if (++retryCount_ < kRetryCopies) {
            SendControl(MSG_MATCH_CANCEL);
            ArmStateTimer();
        } else {
            // An unanswered cancel is taken as done.
            Enter(CLIENT_STATE_CONNECTED);
            Report(EVT_MATCH_CANCELLED);
        }
        return;
    }
    if (m.type() == MSG_SESSION_CLOSED) {
        LoseSession();
    } else if (m.type() == MSG_MATCH_CANCEL_ACK) {
        CancelTimer();
        retryCount_ = 0;
        Enter(CLIENT_STATE_CONNECTED);
        Report(EVT_MATCH_CANCELLED);
    }
}

void ClientEngine::OnDisconnectSent(const DatagramView& m, bool tick) {
    if (tick) {
        if (++retryCount_ < kRetryCopies) {
            SendControl(MSG_DISCONNECT);
            ArmStateTimer();
        } else {
            Enter(CLIENT_STATE_DISCONNECTED);
            Report(EVT_DISCONNECTED);
        }
        return;
    }
    if (m.type() == MSG_DISCONNECT_ACK || m.type() == MSG_SESSION_CLOSED)
        LoseSession();
}

} // namespace vessaro
