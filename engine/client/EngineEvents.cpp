#include "EngineEvents.h"

#include "ByteOrder.h"
#include "Codec.h"

#include <algorithm>
#include <cstring>

namespace vessaro {
namespace {

constexpr std::size_t kNoticeTextCapacity = kNoticeBlockSize - 4;
constexpr std::size_t kTalkDataCapacity = kTalkBlockSize - 4;

} // namespace

EventBlock MakeNoticeBlock(int32_t value, std::string_view text) {
    EventBlock block(kNoticeBlockSize, 0);
    StoreI32(block.data(), value);
    std::size_t n = std::min(text.size(), kNoticeTextCapacity - 1);
    if (n > 0) // an empty view may have no storage at all
        std::memcpy(block.data() + 4, text.data(), n);
    return block;
}

EventBlock MakePartnerBlock(const UserProfile& partner, const UserProfile& own) {
    EventBlock block(kPartnerBlockSize, 0);
    StoreProfile(block.data(), partner);
    StoreProfile(block.data() + kUserProfileSize, own);
    return block;
}

EventBlock MakeTalkTextBlock(const TalkText& text) {
    EventBlock block(kTalkBlockSize, 0);
    StoreI32(block.data(), text.packType);
    std::memcpy(block.data() + 4, text.text, sizeof text.text);
    return block;
}

EventBlock MakeTalkDataBlock(std::span<const uint8_t> data) {
    EventBlock block(kTalkBlockSize, 0);
    std::size_t n = std::min(data.size(), kTalkDataCapacity);
    StoreI32(block.data(), static_cast<int32_t>(n));
    if (n > 0) // an empty span may have no storage at all
        std::memcpy(block.data() + 4, data.data(), n);
    return block;
}

EventBlock MakeTextIdBlock(uint32_t id) {
    EventBlock block(kTextIdBlockSize, 0);
    StoreU32(block.data(), id);
    return block;
}

NoticeBlock ReadNoticeBlock(const EventBlock& block) {
    if (block.size() < 4)
        return {};
    std::size_t n = std::min(block.size(), kNoticeBlockSize) - 4;
    return {LoadI32(block.data()), FieldText({reinterpret_cast<const char*>(block.data() + 4), n})};
}

std::pair<UserProfile, UserProfile> ReadPartnerBlock(const EventBlock& block) {
    if (block.size() < kPartnerBlockSize)
        return {EmptyProfile(), EmptyProfile()};
    return {LoadProfile(block.data()), LoadProfile(block.data() + kUserProfileSize)};
}

TalkText ReadTalkTextBlock(const EventBlock& block) {
    TalkText text{};
    if (block.size() < kTalkBlockSize)
        return text;
    text.packType = LoadI32(block.data());
    std::memcpy(text.text, block.data() + 4, sizeof text.text);
    return text;
}

std::span<const uint8_t> ReadTalkDataBlock(const EventBlock& block) {
    if (block.size() < 4)
        return {};
    std::size_t available = std::min(block.size(), kTalkBlockSize) - 4;
    int32_t length = LoadI32(block.data());
    std::size_t n = length < 0 ? 0 : std::min<std::size_t>(std::size_t(length), available);
    return {block.data() + 4, n};
}

uint32_t ReadTextIdBlock(const EventBlock& block) {
    return block.size() < kTextIdBlockSize ? 0 : LoadU32(block.data());
}

} // namespace vessaro
