#include "SimClient.h"

#include "WireTransform.h"

#include <array>

namespace vessaro::bench {

void SimClient::Connect() {
    phase_ = Phase::Connecting;
    Send(BuildControl(MSG_CONNECT));
}

void SimClient::RequestMatch(const UserProfile& profile, const MatchRequirement& requirement) {
    phase_ = Phase::Matching;
    Send(BuildMatchRequest(sessionId_, profile, requirement));
}

void SimClient::SendText() {
    ++sequence_;
    ++textsSent;
    awaitingAck_ = true;
    sentAt_ = BenchClock::now();
    Send(BuildTalkText(sessionId_, conversationId_, sequence_, text_));
}

void SimClient::ResetCounters() {
    textsReceived = acksReceived = partnersFound = textsSent = 0;
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
        if (phase_ == Phase::Connecting && m.connectResult() == 1) {
            sessionId_ = m.sessionId();
            phase_ = Phase::Idle;
        } else if (phase_ == Phase::Connecting) {
            phase_ = Phase::Closed;
        }
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
        phase_ = Phase::Closed;
        break;
    case MSG_TALK_TEXT:
        OnTalkText(m);
        break;
    default:
        break; // acknowledgements of our requests need no answer
    }
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
