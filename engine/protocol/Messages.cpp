#include "Messages.h"

#include "ByteOrder.h"
#include "Codec.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace vessaro {
namespace {

template <std::size_t N>
DatagramBytes<N> Start(int32_t type, int32_t sessionId, int32_t conversationId) {
    DatagramBytes<N> m{};
    StoreI32(m.data() + offsets::kProtocol, ProtocolOf(type));
    StoreI32(m.data() + offsets::kType, type);
    StoreI32(m.data() + offsets::kSessionId, sessionId);
    StoreI32(m.data() + offsets::kConversationId, conversationId);
    return m;
}

} // namespace

TalkText MakeTalkText(std::string_view gbk, int32_t packType) {
    TalkText t;
    t.packType = packType;
    CopyToField(t.text, gbk);
    return t;
}

DatagramBytes<36> BuildControl(int32_t type, int32_t sessionId, int32_t conversationId) {
    assert(MessageSize(type) == kHeaderSize);
    return Start<36>(type, sessionId, conversationId);
}

DatagramBytes<40> BuildConnectAck(int32_t sessionId, int32_t result) {
    auto m = Start<40>(MSG_CONNECT_ACK, sessionId, 0);
    StoreI32(m.data() + offsets::kConnectResult, result);
    return m;
}

DatagramBytes<296> BuildNotice(int32_t sessionId, std::string_view gbkText, int32_t value) {
    auto m = Start<296>(MSG_NOTICE, sessionId, 0);
    CopyToField(
        {reinterpret_cast<char*>(m.data() + offsets::kNoticeText), offsets::kNoticeTextSize},
        gbkText);
    StoreI32(m.data() + offsets::kNoticeValue, value);
    return m;
}

DatagramBytes<632> BuildMatchRequest(int32_t sessionId, const UserProfile& profile,
                                     const MatchRequirement& requirement) {
    auto m = Start<632>(MSG_MATCH_REQUEST, sessionId, 0);
    StoreProfile(m.data() + offsets::kRequestProfile, profile);
    StoreRequirement(m.data() + offsets::kRequestRequirement, requirement);
    return m;
}

DatagramBytes<428> BuildPartnerFound(int32_t sessionId, int32_t conversationId,
                                     const UserProfile& partner) {
    auto m = Start<428>(MSG_PARTNER_FOUND, sessionId, conversationId);
    StoreProfile(m.data() + offsets::kPartnerProfile, partner);
    return m;
}

DatagramBytes<40> BuildTimerTick(uint32_t tag) {
    auto m = Start<40>(MSG_TIMER, 0, 0);
    StoreU32(m.data() + offsets::kTimerTag, tag);
    return m;
}

DatagramBytes<560> BuildTalkText(int32_t sessionId, int32_t conversationId, uint32_t sequence,
                                 const TalkText& text) {
    auto m = Start<560>(MSG_TALK_TEXT, sessionId, conversationId);
    StoreI32(m.data() + offsets::kTalkSubKind, TALK_TEXT);
    StoreU32(m.data() + offsets::kTalkSequence, sequence);
    StoreI32(m.data() + offsets::kTalkPackType, text.packType);
    std::memcpy(m.data() + offsets::kTalkText, text.text, offsets::kTalkTextSize);
    return m;
}

DatagramBytes<560> BuildTalkAck(int32_t sessionId, int32_t conversationId, uint32_t sequence,
                                int32_t packType) {
    auto m = Start<560>(MSG_TALK_TEXT, sessionId, conversationId);
    StoreI32(m.data() + offsets::kTalkSubKind, TALK_ACK);
    StoreU32(m.data() + offsets::kTalkSequence, sequence);
    StoreI32(m.data() + offsets::kTalkPackType, packType);
    return m;
}

DatagramBytes<552> BuildTalkData(int32_t sessionId, int32_t conversationId,
                                 std::span<const uint8_t> data) {
    auto m = Start<552>(MSG_TALK_DATA, sessionId, conversationId);
    std::size_t n = std::min(data.size(), offsets::kDataSize);
    if (n > 0) // an empty span may have no storage at all
        std::memcpy(m.data() + offsets::kData, data.data(), n);
    StoreI32(m.data() + offsets::kDataLength, static_cast<int32_t>(n));
    return m;
}

bool DatagramView::complete() const {
    if (size_ < kHeaderSize)
        return false;
    std::size_t need = MessageSize(type());
    return size_ >= (need == 0 ? kHeaderSize : need);
}

int32_t DatagramView::I32(std::size_t offset) const {
    return offset + 4 <= size_ ? LoadI32(data_ + offset) : 0;
}

void DatagramView::CopyOut(std::size_t offset, void* dst, std::size_t n) const {
    std::memset(dst, 0, n);
    if (offset < size_)
        std::memcpy(dst, data_ + offset, std::min(n, size_ - offset));
}

std::string DatagramView::senderAddress() const {
    char text[offsets::kSenderAddressSize + 1] = {};
    CopyOut(offsets::kSenderAddress, text, offsets::kSenderAddressSize);
    return std::string(FieldText(text));
}

uint16_t DatagramView::senderPort() const {
    uint16_t port = 0;
    CopyOut(offsets::kSenderPort, &port, sizeof port);
    return port;
}

std::string_view DatagramView::noticeText() const {
    if (size_ <= offsets::kNoticeText)
        return {};
    std::size_t avail = std::min(offsets::kNoticeTextSize, size_ - offsets::kNoticeText);
    return FieldText({reinterpret_cast<const char*>(data_ + offsets::kNoticeText), avail});
}

UserProfile DatagramView::requestProfile() const {
    uint8_t raw[kUserProfileSize];
    CopyOut(offsets::kRequestProfile, raw, sizeof raw);
    return LoadProfile(raw);
}

MatchRequirement DatagramView::requestRequirement() const {
    uint8_t raw[kMatchRequirementSize];
    CopyOut(offsets::kRequestRequirement, raw, sizeof raw);
    return LoadRequirement(raw);
}

UserProfile DatagramView::partnerProfile() const {
    uint8_t raw[kUserProfileSize];
    CopyOut(offsets::kPartnerProfile, raw, sizeof raw);
    return LoadProfile(raw);
}

TalkText DatagramView::talkText() const {
    TalkText t;
    t.packType = talkPackType();
    CopyOut(offsets::kTalkText, t.text, sizeof t.text);
    return t;
}

std::span<const uint8_t> DatagramView::talkData() const {
    int32_t length = std::clamp<int32_t>(dataLength(), 0, int32_t(offsets::kDataSize));
    std::size_t avail = size_ > offsets::kData ? size_ - offsets::kData : 0;
    return {data_ + offsets::kData, std::min<std::size_t>(std::size_t(length), avail)};
}

bool SanitizeReceived(uint8_t* message, std::size_t size) {
    DatagramView view(message, size);
    if (!view.complete())
        return false;
    switch (view.type()) {
    case MSG_NOTICE:
        message[offsets::kNoticeText + offsets::kNoticeTextSize - 1] = 0;
        break;
    case MSG_TALK_TEXT:
        message[offsets::kTalkText + offsets::kTalkTextSize - 1] = 0;
        break;
    case MSG_TALK_DATA:
        StoreI32(message + offsets::kDataLength,
                 std::clamp<int32_t>(view.dataLength(), 0, int32_t(offsets::kDataSize)));
        break;
    default:
        break;
    }
    return true;
}

void StampSender(uint8_t* buffer, const char* dottedAddress, uint16_t port) {
    std::size_t n = strnlen(dottedAddress, offsets::kSenderAddressSize - 1);
    std::memcpy(buffer + offsets::kSenderAddress, dottedAddress, n);
    buffer[offsets::kSenderAddress + n] = 0;
    std::memcpy(buffer + offsets::kSenderPort, &port, sizeof port);
}

} // namespace vessaro
