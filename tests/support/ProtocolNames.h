#pragma once

#include "Datagram.h"

#include <array>
#include <cstdint>
#include <string>

namespace vessaro::test {

// Names of the client states and message types for test names, so that a failing case reads
// "ConnectSent_ConnectAck" instead of an index.
inline std::string StateName(int32_t state) {
    static constexpr std::array<const char*, 13> kNames = {
        "Disconnected",    "ConnectSent",  "Connected",     "MatchSent", "Matching",
        "MatchCancelSent", "PartnerFound", "AcceptSent",    "Accepted",  "RefuseSent",
        "Talking",         "HangupSent",   "DisconnectSent"};
    return state >= 0 && state < int32_t(kNames.size()) ? kNames[std::size_t(state)]
                                                        : "State" + std::to_string(state);
}

inline std::string MessageName(int32_t type) {
    static constexpr std::array<const char*, 29> kNames = {
        "None",         "Connect",        "ConnectAck",    "Disconnect",      "DisconnectAck",
        "Notice",       "NoticeAck",      "SessionClosed", "MatchRequest",    "MatchRequestAck",
        "MatchCancel",  "MatchCancelAck", "PartnerFound",  "PartnerFoundAck", "Refuse",
        "RefuseAck",    "Accept",         "AcceptAck",     "TalkStart",       "TalkStartAck",
        "Hangup",       "HangupAck",      "PeerHangup",    "PeerHangupAck",   "TalkProbe",
        "TalkProbeAck", "Timer",          "TalkText",      "TalkData"};
    static_assert(kNames.size() == kLastMessageType + 1, "a name for every message type");
    return type >= 0 && type < int32_t(kNames.size()) ? kNames[std::size_t(type)]
                                                      : "Message" + std::to_string(type);
}

} // namespace vessaro::test
