#include "Transcript.h"

#include "Codec.h"

#include <cstdio>

namespace vessaro {

std::string FormatTimeStamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

const ChatEntry& Transcript::Add(std::string gbkText, int kind, std::time_t when) {
    static const std::string systemLabel = EncodeGbkOrEmpty("系统消息");
    ChatEntry entry;
    if (kind == SPEAKER_SYSTEM) {
        entry.speakerLabel = systemLabel;
        entry.colorName = "Teal";
    } else if (kind != SPEAKER_PEER) {
        entry.speakerLabel = myNickname_;
        entry.colorName = "Green";
    } else {
        entry.speakerLabel = peerNickname_;
        entry.colorName = "Blue";
    }
    entry.timeStamp = FormatTimeStamp(when);
    entry.messageText = std::move(gbkText);
    entries_.push_back(std::move(entry));
    return entries_.back();
}

bool Transcript::SetDelivery(std::size_t index, Delivery delivery) {
    if (index >= entries_.size())
        return false;
    entries_[index].delivery = delivery;
    return true;
}

} // namespace vessaro
