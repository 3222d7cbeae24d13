#include "SimClient.h"

#include "WireTransform.h"

#include <array>

namespace vessaro::bench {

void SimClient::Connect() {
    phase_ = Phase::Connecting;
    Send(BuildControl(MSG_CONNECT));
}

void SimClient::RequestMatch(const UserProfile& profile, const MatchRequirement& requirement) {
    profile_ = profile;
    requirement_ = requirement;
    phase_ = Phase::Matching;
    Send(BuildMatchRequest(sessionId_, profile, requirement));
}

void SimClient::Repeat() {
    if (phase_ == Phase::Connecting)
        Send(BuildControl(MSG_CONNECT));
    else if (phase_ == Phase::Matching)
        Send(BuildMatchRequest(sessionId_, profile_, requirement_));
}

void SimClient::SendText() {
    ++sequence_;
    ++textsSent;
    awaitingAck_ = true;
    sentAt_ = BenchClock::now();
    Send(BuildTalkText(sessionId_, conversationId_, sequence_, text_));
}

void SimClient::ResetCounters() {
    textsReceived = acksReceived = partnersFound = textsSent = reconnects = 0;
    rttMicros.clear();
}

int SimClient::Drain() {
    std::array<uint8_t, kMaxDatagramSize> buffer;
    int count = 0;
    while (std::optional<std::size_t> n = socket_.Receive(buffer)) {
        CommInvertBytes(buffer.data(), buffer.data(), int(*n));
        Handle(std::span<const uint8_t>(buffer.data(), *n));
        ++count;
    }
    return count;
}

int SimClient::DrainBatched(DatagramBatch& in, int maxBatches) {
    int count = 0;
    for (int b = 0; b < maxBatches; ++b) {
        const int n = in.Receive(socket_.fd());
        for (int i = 0; i < n; ++i) {
            std::span<uint8_t> d = in.data(i);
            CommInvertBytes(d.data(), d.data(), int(d.size()));
            Handle(d);
        }
        count += n;
        if (n < DatagramBatch::kCapacity)
            break;
    }
    return count;
}

void SimClient::UseBatches() {
    if (!outbox_)
        EnlargeBuffers(socket_.fd(), 1 << 20, true);
    outbox_ = std::make_unique<DatagramBatch>();
}

void SimClient::Flush() {
    if (outbox_ && outbox_->size() > 0)
        outbox_->Send(socket_.fd());
}

void SimClient::Handle(std::span<const uint8_t> message) {
    DatagramView m(message);
    if (!m.complete())
        return;
    switch (m.type()) {
    case MSG_CONNECT_ACK:
        OnConnectAck(m);
        break;
    case MSG_NOTICE:
        Send(BuildControl(MSG_NOTICE_ACK, sessionId_));
        break;
    case MSG_PARTNER_FOUND:
        Send(BuildControl(MSG_PARTNER_FOUND_ACK, sessionId_, m.conversationId()));
        if (phase_ == Phase::Matching) {
            ++partnersFound;
            conversationId_ = m.conversationId();
            phase_ = Phase::Offered;
            Send(BuildControl(MSG_ACCEPT, sessionId_, conversationId_));
        }
        break;
    case MSG_TALK_START:
        Send(BuildControl(MSG_TALK_START_ACK, sessionId_, m.conversationId()));
        if (phase_ == Phase::Offered && m.conversationId() == conversationId_)
            phase_ = Phase::Talking;
        break;
    case MSG_TALK_PROBE:
        Send(BuildControl(MSG_TALK_PROBE_ACK, sessionId_, m.conversationId()));
        break;
    case MSG_PEER_HANGUP:
        Send(BuildControl(MSG_PEER_HANGUP_ACK, sessionId_, m.conversationId()));
        phase_ = Phase::Idle;
        break;
    case MSG_SESSION_CLOSED:
        OnSessionClosed(m);
        break;
    case MSG_TALK_TEXT:
        OnTalkText(m);
        break;
    default:
        break; // acknowledgements of our requests need no answer
    }
}

void SimClient::OnConnectAck(const DatagramView& m) {
    if (phase_ != Phase::Connecting)
        return;
    if (m.connectResult() != 1) {
        phase_ = Phase::Closed;
        matchAfterConnect_ = false;
        return;
    }
    sessionId_ = m.sessionId();
    phase_ = Phase::Idle;
    if (matchAfterConnect_) {
        matchAfterConnect_ = false;
        RequestMatch(profile_, requirement_);
    }
}

// Only the closing of the session it holds counts: a late one for a session it has already
// replaced, or one that arrives while it connects, would otherwise throw away a good session.
void SimClient::OnSessionClosed(const DatagramView& m) {
    if (sessionId_ == 0 || m.sessionId() != sessionId_ || phase_ == Phase::Connecting ||
        phase_ == Phase::Closed)
        return;
    ++reconnects;
    matchAfterConnect_ = phase_ == Phase::Matching;
    sessionId_ = 0;
    conversationId_ = 0;
    awaitingAck_ = false;
    Connect();
}

void SimClient::OnTalkText(const DatagramView& m) {
    if (m.talkSubKind() == TALK_TEXT) {
        ++textsReceived;
        Send(BuildTalkAck(sessionId_, conversationId_, m.talkSequence(), m.talkPackType()));
        return;
    }
    if (m.talkSubKind() != TALK_ACK)
        return;
    ++acksReceived;
    if (awaitingAck_ && m.talkSequence() == sequence_) {
        awaitingAck_ = false;
        if (keepRtt)
            rttMicros.push_back(
                std::chrono::duration<double, std::micro>(BenchClock::now() - sentAt_).count());
    }
}

void SimClient::SendBytes(const uint8_t* data, std::size_t size) {
    if (outbox_ && size <= DatagramBatch::kBufferSize) {
        if (outbox_->full())
            Flush();
        CommInvertBytes(data, outbox_->Add(server_, size), int(size));
        return;
    }
    std::array<uint8_t, kMaxDatagramSize> wire;
    CommInvertBytes(data, wire.data(), int(size));
    socket_.SendTo(server_, std::span<const uint8_t>(wire.data(), size));
}

} // namespace vessaro::bench
