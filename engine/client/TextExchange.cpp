// Lines of text and blocks of data in an open conversation.
#include "ClientEngine.h"
#include "Console.h"
#include "EngineLock.h"
#include "SequenceNumber.h"

namespace vessaro {

namespace {

// The waits for a text's acknowledgement take tags of their own, above those of the states, and a
// new one each time, so a tick queued just before its wait was cancelled is never taken for the
// time-out of the next one.
constexpr uint32_t kTextTimerTagBase = 0x10000;
constexpr uint32_t kTextTimerTagSpan = 0x10000;

} // namespace

uint32_t ClientEngine::PostText(const TalkText& text) {
    EngineLock lock(*this);
    return QueueText(text);
}

// The wait is registered under the lock, before the dispatcher can settle the text; the wait
// itself holds only the outcome board's lock.
int ClientEngine::SendText(const TalkText& text) {
    uint32_t id;
    {
        EngineLock lock(*this);
        id = QueueText(text);
        if (id == 0)
            return -1;
        outcomes_.Expect(id);
    }
    return outcomes_.Wait(id) ? 0 : -1;
}

uint32_t ClientEngine::QueueText(const TalkText& text) {
    if (state_.load() != CLIENT_STATE_TALKING || texts_.size() > kMaxWaitingTexts)
        return 0;
    if (++lastTextId_ == 0) // 0 means refused
        lastTextId_ = 1;
    texts_.push_back({lastTextId_, text});
    if (texts_.size() == 1)
        SendNextText();
    return lastTextId_;
}

// The first text goes on the wire with a new sequence; its copies repeat the same bytes.
void ClientEngine::SendNextText() {
    ++lastSentSequence_;
    textMessage_ =
        BuildTalkText(sessionId_, conversationId_, lastSentSequence_, texts_.front().text);
    textCopies_ = 0;
    SendTextCopy();
}

// The wait is armed before the copy leaves; its tick cannot be dispatched before the lock is free.
void ClientEngine::SendTextCopy() {
    textTimerTag_ = kTextTimerTagBase + (textWaits_++ % kTextTimerTagSpan);
    textTimer_ = timers_.Set(static_cast<uint32_t>(ackWait_.count()), textTimerTag_, onTick_);
    ++textCopies_;
    Send(textMessage_);
}

bool ClientEngine::TakeTextTick(const DatagramView& tick) {
    if (textTimer_ == 0 || tick.timerTag() != textTimerTag_)
        return false;
    textTimer_ = 0;
    return true;
}

// A wait ended without the acknowledgement: send another copy, or give the text up after the last.
void ClientEngine::OnTextWaitOver() {
    if (textCopies_ < kRetryCopies) {
        SendTextCopy();
        return;
    }
    ConsoleLine("Talk failed ----------\n");
    SettleFirstText(EVT_TEXT_FAILED);
}

// Reports the outcome of the text on the wire, then puts the next one on the wire.
void ClientEngine::SettleFirstText(int32_t code) {
    if (textTimer_ != 0)
        timers_.Kill(textTimer_);
    textTimer_ = 0;
    uint32_t id = texts_.front().id;
    texts_.pop_front();
    Report(code, MakeTextIdBlock(id));
    outcomes_.Settle(id, code == EVT_TEXT_CONFIRMED);
    if (!texts_.empty())
        SendNextText();
}

// The conversation is over: no copy goes out any more, and every text still unsettled fails, in
// the order posted.
void ClientEngine::FailAllTexts() {
    if (textTimer_ != 0)
        timers_.Kill(textTimer_);
    textTimer_ = 0;
    std::deque<OutgoingText> unsettled;
    unsettled.swap(texts_);
    for (const OutgoingText& text : unsettled) {
        Report(EVT_TEXT_FAILED, MakeTextIdBlock(text.id));
        outcomes_.Settle(text.id, false);
    }
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
        // Only the text on the wire can be confirmed; an acknowledgement of an earlier sequence
        // (a text already settled) is late and means nothing now.
        if (!texts_.empty() && sequence == lastSentSequence_)
            SettleFirstText(EVT_TEXT_CONFIRMED);
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
