#include "ConversationModel.h"

#include "Codec.h"

// The system lines stay as written here; the chat window shows them translated, so they are marked
// for Qt's translation tools without this model depending on Qt.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace vessaro {
namespace {

//: English: Press 'Accept' to start talking, or 'Hang up' to refuse.
constexpr const char* kOpeningPrompt =
    QT_TRANSLATE_NOOP("vessaro::ConversationModel", "请选择‘接受’开始对话，拒绝对话请按“挂断”");
//: English: Connected. You can start talking!
constexpr const char* kTalkStartedNotice =
    QT_TRANSLATE_NOOP("vessaro::ConversationModel", "连接已建立，可以开始对话！");
//: English: The conversation has ended! Press Close to leave.\r\nNote: ...
constexpr const char* kTalkEndedNotice = QT_TRANSLATE_NOOP(
    "vessaro::ConversationModel",
    "对话已结束！点击关闭按钮退出。\r\n注意：关闭窗口后，对话内容将会自动删除！！！");
//: English: The connection to the server was lost; the conversation is over.
constexpr const char* kServerLostNotice =
    QT_TRANSLATE_NOOP("vessaro::ConversationModel", "服务器连接中断，对话结束。");

} // namespace

ConversationModel::ConversationModel(std::string myNickname, std::string peerNickname,
                                     WallClock clock)
    : clock_(std::move(clock)), transcript_(std::move(myNickname), std::move(peerNickname)) {}

void ConversationModel::Open() {
    if (lines().empty())
        AddSystemLine(kOpeningPrompt);
}

void ConversationModel::OnEvent(int32_t code, const EventBlock& block) {
    switch (code) {
    case EVT_ACCEPTED:
        if (phase_ == ConversationPhase::Offered || phase_ == ConversationPhase::AcceptSent)
            phase_ = ConversationPhase::Accepted;
        break;
    case EVT_TALK_STARTED:
        if (Over())
            break;
        if (phase_ != ConversationPhase::Leaving)
            phase_ = ConversationPhase::Talking;
        AddSystemLine(kTalkStartedNotice);
        break;
    case EVT_TALK_TEXT:
        if (!Over())
            AddLine(std::string(FieldText(ReadTalkTextBlock(block).text)), SPEAKER_PEER);
        break;
    case EVT_SERVER_LOST: // the end itself follows as EVT_TALK_ENDED
        if (!Over())
            AddSystemLine(kServerLostNotice);
        break;
    case EVT_TEXT_CONFIRMED:
        Settle(ReadTextIdBlock(block), Delivery::Confirmed);
        break;
    case EVT_TEXT_FAILED:
        Settle(ReadTextIdBlock(block), Delivery::Failed);
        break;
    case EVT_TALK_ENDED:
        End();
        break;
    default:
        break;
    }
}

void ConversationModel::AcceptRequested() {
    if (phase_ == ConversationPhase::Offered)
        phase_ = ConversationPhase::AcceptSent;
}

void ConversationModel::LeaveRequested() {
    if (Leave() != LeaveAction::None)
        phase_ = ConversationPhase::Leaving;
}

LeaveAction ConversationModel::Leave() const {
    switch (phase_) {
    case ConversationPhase::Offered:
        return LeaveAction::Refuse;
    case ConversationPhase::Accepted:
    case ConversationPhase::Talking:
        return LeaveAction::HangUp;
    case ConversationPhase::AcceptSent:
    case ConversationPhase::Leaving:
    case ConversationPhase::Ended:
        break;
    }
    return LeaveAction::None;
}

bool ConversationModel::TextPosted(uint32_t textId, std::string gbkText) {
    if (textId <= lastTextId_ || !CanSend())
        return false;
    lastTextId_ = textId;
    pending_[textId] = lines().size();
    AddLine(std::move(gbkText), SPEAKER_ME, textId);
    return true;
}

bool ConversationModel::TextReposted(std::size_t index, uint32_t textId) {
    if (textId <= lastTextId_ || !CanSend() || index >= lines().size() || textIds_[index] == 0 ||
        lines()[index].delivery != Delivery::Failed)
        return false;
    lastTextId_ = textId;
    textIds_[index] = textId;
    pending_[textId] = index;
    transcript_.SetDelivery(index, Delivery::Pending);
    if (observer_.deliveryChanged)
        observer_.deliveryChanged(index);
    return true;
}

uint32_t ConversationModel::TextIdOf(std::size_t index) const {
    return index < textIds_.size() ? textIds_[index] : 0;
}

void ConversationModel::AddLine(std::string gbkText, int kind, uint32_t textId) {
    transcript_.Add(std::move(gbkText), kind, clock_());
    textIds_.push_back(textId);
    if (textId != 0)
        transcript_.SetDelivery(lines().size() - 1, Delivery::Pending);
    if (observer_.lineAdded)
        observer_.lineAdded(lines().size() - 1);
}

void ConversationModel::AddSystemLine(const char* utf8) {
    AddLine(EncodeGbkOrEmpty(utf8), SPEAKER_SYSTEM);
}

// Each text has one outcome: a second one, or one for an id this conversation never posted, is
// not believed.
void ConversationModel::Settle(uint32_t textId, Delivery delivery) {
    auto it = pending_.find(textId);
    if (it == pending_.end())
        return;
    const std::size_t index = it->second;
    pending_.erase(it);
    transcript_.SetDelivery(index, delivery);
    if (observer_.deliveryChanged)
        observer_.deliveryChanged(index);
}

// The engine reports every unconfirmed text failed before the end; whatever is still pending then
// failed all the same, so no line stays "sending" for ever. A second end (the engine reports one
// when it gives up waiting and another when its hang-up is answered) adds nothing.
void ConversationModel::End() {
    if (Over())
        return;
    while (!pending_.empty())
        Settle(pending_.begin()->first, Delivery::Failed);
    phase_ = ConversationPhase::Ended;
    AddSystemLine(kTalkEndedNotice);
    if (observer_.ended)
        observer_.ended();
}

} // namespace vessaro
