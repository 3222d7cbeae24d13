#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vessaro {

// Every message is one datagram: a 36-byte header, then a fixed body for the larger types.

inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::size_t kMaxDatagramSize = 4096; // every buffer that holds a whole datagram

enum : int32_t {
    PROTO_SESSION = 1,   // session and matching control
    PROTO_TALK = 2,      // conversation control
    PROTO_LOCAL = 3,     // the engine's own timer ticks, never on the network
    PROTO_TALK_DATA = 4, // conversation text
};

enum : int32_t {
    MSG_CONNECT = 1,
    MSG_CONNECT_ACK = 2,
    MSG_DISCONNECT = 3,
    MSG_DISCONNECT_ACK = 4,
    MSG_NOTICE = 5,
    MSG_NOTICE_ACK = 6,
    MSG_SESSION_CLOSED = 7,
    MSG_MATCH_REQUEST = 8,
    MSG_MATCH_REQUEST_ACK = 9,
    MSG_MATCH_CANCEL = 10,
    MSG_MATCH_CANCEL_ACK = 11,
    MSG_PARTNER_FOUND = 12,
    MSG_PARTNER_FOUND_ACK = 13,
    MSG_REFUSE = 14,
    MSG_REFUSE_ACK = 15,
    MSG_ACCEPT = 16,
    MSG_ACCEPT_ACK = 17,
    MSG_TALK_START = 18,
    MSG_TALK_START_ACK = 19,
    MSG_HANGUP = 20,
    MSG_HANGUP_ACK = 21,
    MSG_PEER_HANGUP = 22,
    MSG_PEER_HANGUP_ACK = 23,
    MSG_TALK_PROBE = 24,
    MSG_TALK_PROBE_ACK = 25,
    MSG_TIMER = 26,
    MSG_TALK_TEXT = 27,
    MSG_TALK_DATA = 28,
};

inline constexpr int32_t kFirstMessageType = MSG_CONNECT;
inline constexpr int32_t kLastMessageType = MSG_TALK_DATA;

// Header fields.
namespace offsets {
inline constexpr std::size_t kProtocol = 0;
inline constexpr std::size_t kType = 4;
inline constexpr std::size_t kSessionId = 8;
inline constexpr std::size_t kConversationId = 12;
inline constexpr std::size_t kSenderAddress = 16; // dotted IPv4 text, written on receipt
inline constexpr std::size_t kSenderAddressSize = 16;
inline constexpr std::size_t kSenderPort = 32; // 16 bits, host byte order, written on receipt
inline constexpr std::size_t kBody = 36;

// Bodies.
inline constexpr std::size_t kConnectResult = 36;
inline constexpr std::size_t kNoticeText = 36;
inline constexpr std::size_t kNoticeTextSize = 256;
inline constexpr std::size_t kNoticeValue = 292;
inline constexpr std::size_t kRequestProfile = 36;
inline constexpr std::size_t kRequestRequirement = 428;
inline constexpr std::size_t kPartnerProfile = 36;
inline constexpr std::size_t kTimerTag = 36;
inline constexpr std::size_t kTalkSubKind = 36;
inline constexpr std::size_t kTalkSequence = 40;
inline constexpr std::size_t kTalkPackType = 44; // start of the TalkText record
inline constexpr std::size_t kTalkText = 48;
inline constexpr std::size_t kTalkTextSize = 512;
inline constexpr std::size_t kData = 36;
inline constexpr std::size_t kDataSize = 512;
inline constexpr std::size_t kDataLength = 548;
} // namespace offsets

// Sub-kinds of MSG_TALK_TEXT.
enum : int32_t { TALK_TEXT = 1, TALK_ACK = 2 };

// The full size of a message of this type, as its sender builds it; 0 for an unknown type.
constexpr std::size_t MessageSize(int32_t type) {
    switch (type) {
    case MSG_CONNECT_ACK:
    case MSG_TIMER:
        return 40;
    case MSG_NOTICE:
        return 296;
    case MSG_MATCH_REQUEST:
        return 632;
    case MSG_PARTNER_FOUND:
        return 428;
    case MSG_TALK_TEXT:
        return 560;
    case MSG_TALK_DATA:
        return 552;
    default:
        return type >= kFirstMessageType && type <= kLastMessageType ? kHeaderSize : 0;
    }
}

// The protocol value a sender writes for a type.
constexpr int32_t ProtocolOf(int32_t type) {
    if (type == MSG_TIMER)
        return PROTO_LOCAL;
    if (type == MSG_TALK_TEXT || type == MSG_TALK_DATA)
        return PROTO_TALK_DATA;
    return type >= MSG_PARTNER_FOUND ? PROTO_TALK : PROTO_SESSION;
}

static_assert(MessageSize(MSG_MATCH_REQUEST) == kHeaderSize + 392 + 204);
static_assert(offsets::kTalkText + offsets::kTalkTextSize == MessageSize(MSG_TALK_TEXT));
static_assert(offsets::kDataLength + 4 == MessageSize(MSG_TALK_DATA));

} // namespace vessaro
