// Lines of text and blocks of data in an open conversation.
#include "ClientEngine.h"
#include "Console.h"
#include "EngineLock.h"
#include "SequenceNumber.h"

namespace vessaro {

// The state check, the new sequence and the message are prepared under the lock; the sends and
// the waits are not, so that the dispatcher can take the lock to signal the acknowledgement.
int ClientEngine::SendText(const TalkText& text) {
    DatagramBytes<560> message;
    {
        EngineLock lock(*this);
        if (state_.load() != CLIENT_STATE_TALKING)
            return -1;
        // A signal left over from an earlier text must not complete this one.
        acknowledged_.Reset();
        ++lastSentSequence_;
        message = BuildTalkText(sessionId_, conversationId_, lastSentSequence_, text);
    }
    for (int copy = 0; copy < kRetryCopies; ++copy) {
        sender_(message.data(), message.size());
        if (acknowledged_.WaitFor(ackWait_))
            return 0;
    }
    ConsoleLine("Talk failed ----------\n");
    return -1;
}

// Within a conversation the partner's sequences only grow, so any text at or before the last one
// delivered is a copy (a retransmission whose acknowledgement was lost, or a late duplicate). The
// first text of a conversation is always new.
bool ClientEngine::IsRepeatedText(uint32_t sequence) const {
    return textReceivedInConversation_ && !SequenceAfter(sequence, lastReceivedSequence_);
}

void ClientEngine::OnTalkText(const DatagramView& m) {
    ConsoleLine("data  text : pack type = %d\n", m.talkPackType());
    uint32_t sequence = m.talkSequence();
    switch (m.talkSubKind()) {
    case TALK_TEXT:
        // Acknowledge every copy: the sender keeps resending until one acknowledgement arrives.
        Send(BuildTalkAck(sessionId_, conversationId_, sequence, m.talkPackType()));
        if (IsRepeatedText(sequence))
            return;
        lastReceivedSequence_ = sequence;
        textReceivedInConversation_ = true;
        Report(EVT_TALK_TEXT, MakeTalkTextBlock(m.talkText()));
        break;
    case TALK_ACK:
        if (sequence == lastSentSequence_)
            acknowledged_.Signal();
        break;
    default:
        break;
    }
}

void ClientEngine::OnTalkData(const DatagramView& m) {
    // talkData() keeps the length within 0..512 and within the received bytes.
    Report(EVT_TALK_DATA, MakeTalkDataBlock(m.talkData()));
}

} // namespace vessaro
