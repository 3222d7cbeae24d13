#pragma once

#include "Datagram.h"
#include "Records.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vessaro {

// One line of conversation: a pack type (the chat window always sends 0) and 512 bytes of
// NUL-terminated GBK text. It is what ClientSendText takes and what EVT_TALK_TEXT delivers.
struct TalkText {
    int32_t packType;
    char text[offsets::kTalkTextSize];
};
static_assert(sizeof(TalkText) == 516);

// A TalkText holding the given GBK text (cut to 511 bytes on a character boundary).
TalkText MakeTalkText(std::string_view gbk, int32_t packType = 0);

template <std::size_t N>
using DatagramBytes = std::array<uint8_t, N>;

// Builders. Each returns the zero-filled message of its type's full size, with protocol, type and
// the named fields set. Nobody else computes an offset.

// Any 36-byte message: the control messages of both sides, MSG_CONNECT with session 0.
DatagramBytes<36> BuildControl(int32_t type, int32_t sessionId = 0, int32_t conversationId = 0);
DatagramBytes<40> BuildConnectAck(int32_t sessionId, int32_t result);
DatagramBytes<296> BuildNotice(int32_t sessionId, std::string_view gbkText, int32_t value);
DatagramBytes<632> BuildMatchRequest(int32_t sessionId, const UserProfile& profile,
                                     const MatchRequirement& requirement);
DatagramBytes<428> BuildPartnerFound(int32_t sessionId, int32_t conversationId,
                                     const UserProfile& partner);
DatagramBytes<40> BuildTimerTick(uint32_t tag);
DatagramBytes<560> BuildTalkText(int32_t sessionId, int32_t conversationId, uint32_t sequence,
                                 const TalkText& text);
// The acknowledgement of a text: sub-kind 2, the sequence and pack type it acknowledges, no text.
DatagramBytes<560> BuildTalkAck(int32_t sessionId, int32_t conversationId, uint32_t sequence,
                                int32_t packType);
DatagramBytes<552> BuildTalkData(int32_t sessionId, int32_t conversationId,
                                 std::span<const uint8_t> data);

// Read access to a received message. Every field reads as zero when it lies beyond the received
// length, so a short datagram never yields bytes that were not received.
class DatagramView {
public:
    DatagramView(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit DatagramView(std::span<const uint8_t> bytes)
        : DatagramView(bytes.data(), bytes.size()) {}

    std::size_t size() const { return size_; }
    const uint8_t* bytes() const { return data_; }

    // True when the datagram is as long as its type needs (a header for unknown types).
    bool complete() const;

    int32_t protocol() const { return I32(offsets::kProtocol); }
    int32_t type() const { return I32(offsets::kType); }
    int32_t sessionId() const { return I32(offsets::kSessionId); }
    int32_t conversationId() const { return I32(offsets::kConversationId); }
    std::string senderAddress() const;
    uint16_t senderPort() const;

    int32_t connectResult() const { return I32(offsets::kConnectResult); }
    std::string_view noticeText() const;
    int32_t noticeValue() const { return I32(offsets::kNoticeValue); }
    UserProfile requestProfile() const;
    MatchRequirement requestRequirement() const;
    UserProfile partnerProfile() const;
    uint32_t timerTag() const { return static_cast<uint32_t>(I32(offsets::kTimerTag)); }
    int32_t talkSubKind() const { return I32(offsets::kTalkSubKind); }
    uint32_t talkSequence() const { return static_cast<uint32_t>(I32(offsets::kTalkSequence)); }
    int32_t talkPackType() const { return I32(offsets::kTalkPackType); }
    TalkText talkText() const;
    int32_t dataLength() const { return I32(offsets::kDataLength); }
    // The meaningful MSG_TALK_DATA bytes: the length field clamped to 0..512 and to what was received.
    std::span<const uint8_t> talkData() const;

private:
    int32_t I32(std::size_t offset) const;
    void CopyOut(std::size_t offset, void* dst, std::size_t n) const;

    const uint8_t* data_;
    std::size_t size_;
};

// Makes a received message safe to hand on: false when it is shorter than its type needs (drop
// it); otherwise forces the terminators of the notice and talk texts inside their fields and
// clamps a data length to 0..512, in place.
bool SanitizeReceived(uint8_t* message, std::size_t size);

// Writes the real sender into the header of a received datagram: the dotted address with its NUL
// at offset 16 (bytes after the NUL keep their values) and the port in host byte order at offset
// 32. The buffer must hold at least 36 bytes, whatever the datagram's own length.
void StampSender(uint8_t* buffer, const char* dottedAddress, uint16_t port);

} // namespace vessaro
