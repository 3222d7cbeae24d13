// The event blocks: what the readers make of blocks that are short or hold odd lengths.
#include "EngineEvents.h"

#include "ByteOrder.h"
#include "Codec.h"

#include <gtest/gtest.h>

namespace vessaro {
namespace {

TEST(EngineEventBlocks, ShortBlocksReadAsEmpty) {
    for (std::size_t size : {0, 3, 100}) {
        EventBlock block(size, 0x41);
        EXPECT_EQ(ReadNoticeBlock(EventBlock(std::min<std::size_t>(size, 3), 1)).text, "");
        EXPECT_EQ(ReadPartnerBlock(block).first.nickname[0], 0) << size;
        EXPECT_EQ(ReadTalkTextBlock(block).text[0], 0) << size;
        EXPECT_EQ(ReadTalkDataBlock(EventBlock(std::min<std::size_t>(size, 3), 1)).size(), 0u);
        EXPECT_EQ(ReadTextIdBlock(EventBlock(std::min<std::size_t>(size, 3), 1)), 0u);
    }
}

TEST(EngineEventBlocks, DataLengthNeverReachesBeyondTheBlock) {
    EventBlock block = MakeTalkDataBlock(std::vector<uint8_t>(10, 1));
    StoreI32(block.data(), 100000);
    EXPECT_EQ(ReadTalkDataBlock(block).size(), 512u);
    block.resize(20);
    EXPECT_EQ(ReadTalkDataBlock(block).size(), 16u);
    StoreI32(block.data(), -1);
    EXPECT_EQ(ReadTalkDataBlock(block).size(), 0u);
}

// Empty texts and data have no storage behind them; the blocks hold nothing but the length.
TEST(EngineEventBlocks, EmptyTextAndDataMakeEmptyBlocks) {
    const EventBlock notice = MakeNoticeBlock(7, std::string_view());
    EXPECT_EQ(ReadNoticeBlock(notice).value, 7);
    EXPECT_EQ(ReadNoticeBlock(notice).text, "");
    const EventBlock data = MakeTalkDataBlock(std::span<const uint8_t>());
    EXPECT_EQ(LoadI32(data.data()), 0);
    EXPECT_EQ(ReadTalkDataBlock(data).size(), 0u);
}

TEST(EngineEventBlocks, TextIdIsFourBytesLittleEndian) {
    const EventBlock block = MakeTextIdBlock(0x80010203u);
    EXPECT_EQ(block, (EventBlock{0x03, 0x02, 0x01, 0x80}));
    EXPECT_EQ(ReadTextIdBlock(block), 0x80010203u);
}

TEST(EngineEventBlocks, NoticeWithoutTerminatorStopsAtTheBlockEnd) {
    EventBlock block(kNoticeBlockSize, 'z');
    EXPECT_EQ(ReadNoticeBlock(block).text.size(), 256u);
}

} // namespace
} // namespace vessaro
