#pragma once

#include "ChatEntry.h"

#include <ctime>
#include <string>
#include <vector>

namespace vessaro {

// The conversation as an ordered list of entries, only ever appended to. Owned by the chat window
// (and by vessaro-cli), it lives as long as its window.
class Transcript {
public:
    Transcript(std::string myNickname, std::string peerNickname)
        : myNickname_(std::move(myNickname)), peerNickname_(std::move(peerNickname)) {}

    // Appends an entry for the speaker kind (2 the system, any other non-zero the user, 0 the
    // partner), stamped with the given local time. Returns the new entry.
    const ChatEntry& Add(std::string gbkText, int kind, std::time_t when = std::time(nullptr));
    void Clear() { entries_.clear(); }
    // Changes the delivery mark of the entry at index; false when there is none.
    bool SetDelivery(std::size_t index, Delivery delivery);

    const std::vector<ChatEntry>& entries() const { return entries_; }

private:
    std::string myNickname_;
    std::string peerNickname_;
    std::vector<ChatEntry> entries_;
};

// "HH:MM:SS" of a moment in local time.
std::string FormatTimeStamp(std::time_t when);

} // namespace vessaro
