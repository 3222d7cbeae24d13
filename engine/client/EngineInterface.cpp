// The calls by which the user interface starts transitions. Each holds the lock from its state
// check to the end of its transition; a refused call changes nothing and sends nothing.
#include "ClientEngine.h"
#include "Console.h"
#include "EngineLock.h"

namespace vessaro {

int ClientEngine::Connect() {
    EngineLock lock(*this);
    if (state_.load() != CLIENT_STATE_DISCONNECTED)
        return -1;
    // A new attempt may be granted a new session; the old one must not filter it out.
    sessionId_ = 0;
    SendControl(MSG_CONNECT);
    retryCount_ = 0;
    Enter(CLIENT_STATE_CONNECT_SENT);
    return 0;
}

int ClientEngine::Disconnect() {
    EngineLock lock(*this);
    int32_t state = state_.load();
    if (state == CLIENT_STATE_CONNECT_SENT) {
        // Nothing to leave yet: abandon the attempt and report it here, but tell the caller
        // that no disconnect is under way.
        CancelTimer();
        retryCount_ = 0;
        Enter(CLIENT_STATE_DISCONNECTED);
        Report(EVT_DISCONNECTED);
        return -1;
    }
    if (state < CLIENT_STATE_CONNECTED || state > CLIENT_STATE_MATCH_CANCEL_SENT)
        return -1;
    CancelTimer();
    SendControl(MSG_DISCONNECT);
    retryCount_ = 0;
    Enter(CLIENT_STATE_DISCONNECT_SENT);
    return 0;
}

int ClientEngine::WhileDisconnected(const std::function<int()>& change) {
    EngineLock lock(*this);
    if (state_.load() != CLIENT_STATE_DISCONNECTED)
        return -1;
    return change();
}

// The records are stored whatever the state, so the last ones given are what a later offer shows.
int ClientEngine::RequestMatch(const UserProfile& profile, const MatchRequirement& requirement) {
    EngineLock lock(*this);
    profile_ = profile;
    requirements_ = requirement;
    if (state_.load() != CLIENT_STATE_CONNECTED)
        return -1;
    CancelTimer();
    Send(BuildMatchRequest(sessionId_, profile_, requirements_));
    retryCount_ = 0;
    Enter(CLIENT_STATE_MATCH_SENT);
    return 0;
}

int ClientEngine::CancelMatch() {
    EngineLock lock(*this);
    if (state_.load() != CLIENT_STATE_MATCHING)
        return -1;
    CancelTimer();
    SendControl(MSG_MATCH_CANCEL);
    retryCount_ = 0;
    Enter(CLIENT_STATE_MATCH_CANCEL_SENT);
    return 0;
}

int ClientEngine::Accept() {
    EngineLock lock(*this);
    if (state_.load() != CLIENT_STATE_PARTNER_FOUND)
        return -1;
    CancelTimer();
    SendControl(MSG_ACCEPT);
    retryCount_ = 0;
    Enter(CLIENT_STATE_ACCEPT_SENT);
    return 0;
}

int ClientEngine::Refuse() {
    EngineLock lock(*this);
    if (state_.load() != CLIENT_STATE_PARTNER_FOUND)
        return -1;
    CancelTimer();
    SendControl(MSG_REFUSE);
    retryCount_ = 0;
    Enter(CLIENT_STATE_REFUSE_SENT);
    return 0;
}

int ClientEngine::HangUp() {
    EngineLock lock(*this);
    int32_t state = state_.load();
    if (state != CLIENT_STATE_ACCEPTED && state != CLIENT_STATE_TALKING)
        return -1;
    StartHangUp();
    ConsoleLine("change state to -> CLIENT_STATE_HANGUP_SENT\n");
    return 0;
}

// The protocol has no message that carries a file from the client.
int ClientEngine::SendFile(const char*, const uint8_t*, uint32_t) {
    return 0;
}

} // namespace vessaro
