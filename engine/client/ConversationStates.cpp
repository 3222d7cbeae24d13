// The offer, the handshake by which both sides accept, the conversation keep-alive and the
// hang-up. Every way out leads back to the open session (state 2) with EVT_TALK_ENDED, reported
// once per offer.
#include "ClientEngine.h"
#include "Console.h"

namespace vessaro {

void ClientEngine::EndConversation() {
    Enter(CLIENT_STATE_CONNECTED);
    ReportTalkEnded();
}

// A conversation that times out is reported ended when the hang-up starts, so that the user
// learns of it at once; the hang-up that follows must not report it a second time.
void ClientEngine::ReportTalkEnded() {
    if (talkEndReported_)
        return;
    talkEndReported_ = true;
    Report(EVT_TALK_ENDED);
}

void ClientEngine::StartHangUp() {
    CancelTimer();
    SendControl(MSG_HANGUP);
    retryCount_ = 0;
    Enter(CLIENT_STATE_HANGUP_SENT);
}

void ClientEngine::OnPeerHangUp() {
    CancelTimer();
    SendControl(MSG_PEER_HANGUP_ACK);
    EndConversation();
}

void ClientEngine::ArmQueryTimer() {
    StateTimer talking = TimerOfState(CLIENT_STATE_TALKING);
    timer_ = timers_.Set(kRetryMs, talking.tag, onTick_);
    timerTag_ = talking.tag;
}

void ClientEngine::OnPartnerFound(const DatagramView& m, bool tick) {
    if (tick) {
        // The user did not answer in time; EVT_TALK_ENDED follows when the hang-up ends.
        StartHangUp();
        return;
    }
    if (m.type() == MSG_PARTNER_FOUND) {
        // A repeated offer: acknowledge it again, keep the running 35 s.
        conversationId_ = m.conversationId();
        SendControl(MSG_PARTNER_FOUND_ACK);
    } else if (m.type() == MSG_PEER_HANGUP) {
        OnPeerHangUp();
    }
}

void ClientEngine::OnAcceptSent(const DatagramView& m, bool tick) {
    if (tick) {
        if (++retryCount_ < kRetryCopies) {
            SendControl(MSG_ACCEPT);
            ArmStateTimer();
        } else {
            EndConversation();
        }
        return;
    }
    if (m.type() == MSG_ACCEPT_ACK) {
        CancelTimer();
        retryCount_ = 0;
        Enter(CLIENT_STATE_ACCEPTED);
        Report(EVT_ACCEPTED);
    } else if (m.type() == MSG_PEER_HANGUP) {
        OnPeerHangUp();
    }
}

void ClientEngine::OnAccepted(const DatagramView& m, bool tick) {
    if (tick) {
        // The partner did not accept within 35 s.
        StartHangUp();
        ReportTalkEnded();
        return;
    }
    if (m.type() == MSG_TALK_START) {
        CancelTimer();
        SendControl(MSG_TALK_START_ACK);
        retryCount_ = 0;
        queryTicksLeft_ = 0;
        Enter(CLIENT_STATE_TALKING);
        Report(EVT_TALK_STARTED);
    } else if (m.type() == MSG_PEER_HANGUP) {
        OnPeerHangUp();
    }
}

void ClientEngine::OnRefuseSent(const DatagramView& m, bool tick) {
    if (tick) {
        if (++retryCount_ < kRetryCopies) {
            SendControl(MSG_REFUSE);
            ArmStateTimer();
        } else {
            EndConversation();
        }
        return;
    }
    if (m.type() == MSG_REFUSE_ACK) {
        CancelTimer();
        retryCount_ = 0;
        EndConversation();
    }
}

// While talking the retry count counts keep-alive ticks since the server's last probe.
// Once a probe is missed the server is asked every second whether it still knows the session (a
// restarted server answers one question per second per address, and partners behind one address
// ask together); the keep-alive count still moves on every fifth of those ticks, so the keep-alive
// ticks keep their five-second beat, and a probe stops the questions.
void ClientEngine::OnTalking(const DatagramView& m, bool tick) {
    if (tick) {
        if (queryTicksLeft_ > 0 && --queryTicksLeft_ > 0) {
            if (retryCount_ >= kQueryAfterSilentTicksTalking) // no probe has come since
                SendControl(MSG_TALK_PROBE_ACK);
            ArmQueryTimer();
        } else if (++retryCount_ < kSilentTicksAllowed) {
            if (retryCount_ >= kQueryAfterSilentTicksTalking) {
                SendControl(MSG_TALK_PROBE_ACK);
                queryTicksLeft_ = kKeepAliveMs / kRetryMs;
                ArmQueryTimer();
            } else {
                ArmStateTimer();
            }
        } else {
            StartHangUp();
            ConsoleLine("change state to -> CLIENT_STATE_HANGUP_SENT\n");
            ReportTalkEnded();
        }
        return;
    }
    switch (m.type()) {
    case MSG_TALK_START: // our acknowledgement was lost
        SendControl(MSG_TALK_START_ACK);
        break;
    case MSG_PEER_HANGUP:
        OnPeerHangUp();
        break;
    case MSG_TALK_PROBE:
        retryCount_ = 0;
        SendControl(MSG_TALK_PROBE_ACK);
        break;
    case MSG_TALK_TEXT:
        OnTalkText(m);
        break;
    case MSG_TALK_DATA:
        OnTalkData(m);
        break;
    default:
        break;
    }
}

void ClientEngine::OnHangUpSent(const DatagramView& m, bool tick) {
    if (tick) {
        ConsoleLine("HANGUP SEND : msg - timeout\n");
        if (++retryCount_ < kRetryCopies) {
            SendControl(MSG_HANGUP);
            ArmStateTimer();
        } else {
            ConsoleLine("change state to -> CLIENT_STATE_CONNECTED\n");
            EndConversation();
        }
        return;
    }
    if (m.type() == MSG_HANGUP_ACK) {
        CancelTimer();
        retryCount_ = 0;
        EndConversation();
    }
}

} // namespace vessaro
