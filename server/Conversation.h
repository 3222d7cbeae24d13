#pragma once

#include <array>
#include <cstdint>

namespace vessaro {

// Two users from the moment they are offered to each other until either leaves. It is an offer
// until both have accepted, and open (texts are relayed) from then on.
struct Conversation {
    int32_t id = 0;
    uint64_t serial = 0; // tells its timers from those of an earlier conversation with the same id
    std::array<int32_t, 2> sessions{};
    std::array<bool, 2> offerReceived{};
    std::array<bool, 2> accepted{};
    bool open = false;
    uint16_t remoteNode = 0; // 0: both users are on this node

    bool IsRemote(int32_t sessionId) const { return remoteNode != 0 && sessions[1] == sessionId; }

    int SideOf(int32_t sessionId) const { return sessions[0] == sessionId ? 0 : 1; }
    int32_t PartnerOf(int32_t sessionId) const { return sessions[1 - SideOf(sessionId)]; }
};

} // namespace vessaro
