#pragma once

#include <string>

namespace vessaro {

// Where a line of the user's own stands on its way to the partner. Every other line, and an own
// line the partner has acknowledged, is Confirmed and shows no mark.
enum class Delivery { Confirmed, Pending, Failed };

// One line of a conversation. Texts are GBK, as typed or received, line breaks included; nothing
// of the page's formatting is stored.
struct ChatEntry {
    std::string speakerLabel; // the partner's or the user's nickname, or "系统消息"
    std::string timeStamp;    // "HH:MM:SS", 24-hour clock
    std::string colorName;    // "Blue" (partner), "Green" (user), "Teal" (system)
    std::string messageText;
    Delivery delivery = Delivery::Confirmed;
};

// Who speaks an entry: the kind that AddMessage takes.
enum : int { SPEAKER_PEER = 0, SPEAKER_ME = 1, SPEAKER_SYSTEM = 2 };

} // namespace vessaro
