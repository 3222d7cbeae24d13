#pragma once

#include "Messages.h"
#include "Records.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace vessaro {

// Event codes the engine reports (10, 14 and 15 are not used). Codes above 16 are this client's
// own additions.
enum : int32_t {
    EVT_CONNECTED = 1,
    EVT_CONNECT_FAILED = 2,
    EVT_DISCONNECTED = 3,
    EVT_NOTICE = 4,
    EVT_MATCH_FAILED = 5,
    EVT_MATCHING = 6,
    EVT_MATCH_CANCELLED = 7,
    EVT_PARTNER_FOUND = 8,
    EVT_ACCEPTED = 9,
    EVT_TALK_STARTED = 11,
    EVT_TALK_TEXT = 12,
    EVT_TALK_DATA = 13,
    EVT_TALK_ENDED = 16,
    // The server closed the session while an offer or conversation was under way: the offer or
    // conversation ends (EVT_TALK_ENDED follows once), then the session (EVT_DISCONNECTED).
    EVT_SERVER_LOST = 17,
    // A text handed to the engine without waiting was acknowledged by the partner, or given up
    // (its copies unanswered, or the conversation ended before it could go). The block holds the
    // text's id (ReadTextIdBlock).
    EVT_TEXT_CONFIRMED = 18,
    EVT_TEXT_FAILED = 19,
};

// The payload of an event: empty, or the block the engine built for it. It is a value, so whoever
// holds the event owns the block and no block can leak, whether or not anybody reads it.
using EventBlock = std::vector<uint8_t>;

inline constexpr std::size_t kNoticeBlockSize = 260;  // value, then the text with its NUL
inline constexpr std::size_t kPartnerBlockSize = 784; // partner's profile, then the user's own
inline constexpr std::size_t kTalkBlockSize = 516;    // a TalkText, or a length and data bytes
inline constexpr std::size_t kTextIdBlockSize = 4;    // a text's id, little-endian

// Called by the engine, with its lock held, at the end of a transition. It must not call back into
// the engine or block: it only hands the event on (posts it to a window, queues it).
using EngineEventCallback = std::function<void(int32_t code, EventBlock block)>;

// Readers of the blocks. Each returns an empty or zero value when the block is too short.
struct NoticeBlock {
    int32_t value = 0;
    std::string_view text; // GBK, up to its NUL
};
NoticeBlock ReadNoticeBlock(const EventBlock& block);
std::pair<UserProfile, UserProfile> ReadPartnerBlock(const EventBlock& block); // partner, own
TalkText ReadTalkTextBlock(const EventBlock& block);
std::span<const uint8_t> ReadTalkDataBlock(const EventBlock& block);
uint32_t ReadTextIdBlock(const EventBlock& block); // 0 (no text) when too short

// Builders of the blocks, as the engine reports them.
EventBlock MakeNoticeBlock(int32_t value, std::string_view text); // text cut to 255 bytes
EventBlock MakePartnerBlock(const UserProfile& partner, const UserProfile& own);
EventBlock MakeTalkTextBlock(const TalkText& text);
EventBlock MakeTalkDataBlock(std::span<const uint8_t> data); // at most 512 bytes kept
EventBlock MakeTextIdBlock(uint32_t id);

} // namespace vessaro
