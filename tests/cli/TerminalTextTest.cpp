// Hostile received text: nothing of it may reach the terminal as a control, and no line break
// inside it may start a line that looks like the user's or the program's.
#include "TerminalText.h"
#include "Codec.h"
#include "EventFormatter.h"
#include "Messages.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vessaro;
using namespace vessaro::cli;

namespace {

TEST(TerminalText, ControlsBidiAndBadBytesAreShownAsEscapes) {
    const std::pair<std::string, std::string> rows[] = {
        {"你好 hi\xc2\xa0\xf0\x9f\x98\x80", "你好 hi\xc2\xa0\xf0\x9f\x98\x80"}, // kept
        {"\x1b]0;t\x07\x1b[2J", "\\x1b]0;t\\x07\\x1b[2J"},                      // title, clear
        {std::string("a\0\t\r\n\x7f", 6), "a\\x00\\x09\\x0d\\x0a\\x7f"},        // C0, DEL
        {"\xc2\x9b"
         "1m\xc2\x85",
         "\\u009b1m\\u0085"}, // C1
        {"a\xe2\x80\xae"
         "b\xe2\x81\xa6\xe2\x80\x8f\xd8\x9c\xe2\x80\xa8",
         "a\\u202eb\\u2066\\u200f\\u061c\\u2028"}, // bidi, separator
        {"\xff\xc0\xaf\xed\xa0\x80ok\xe4\xbd", "\\xff\\xc0\\xaf\\xed\\xa0\\x80ok\\xe4\\xbd"},
        {DecodeGbk("\x1b[5m\xc4\xe3"), "\\x1b[5m你"}};
    for (const auto& [input, shown] : rows) {
        EXPECT_EQ(TerminalSafe(input), shown);
        for (unsigned char c : TerminalSafe(input))
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << shown;
    }
    EXPECT_EQ(TerminalLines("a\r\nb\rc\n\x1b"), (std::vector<std::string>{"a", "b", "c", "\\x1b"}));
}

// Every line printed for a partner's text starts with the partner's label, whatever the text
// holds; a profile field stays on its own line.
TEST(TerminalText, PartnerTextAndProfileCannotForgeOtherLines) {
    TalkText text = MakeTalkText(
        EncodeGbk("hi\r\n我：我的密码\n对话结束。\r\x1b[2K已断开与服务器的连接。").value());
    EventBlock block(kTalkBlockSize);
    std::memcpy(block.data(), &text, sizeof text);
    EXPECT_EQ(
        EventFormatter(false).Event(EVT_TALK_TEXT, block),
        "对方：hi\n对方| 我：我的密码\n对方| 对话结束。\n对方| \\x1b[2K已断开与服务器的连接。");

    UserProfile partner = EmptyProfile();
    CopyToField(partner.nickname, EncodeGbk("小红\r\n我：x").value());
    EventBlock found(kPartnerBlockSize);
    StoreProfile(found.data(), partner);
    StoreProfile(found.data() + kUserProfileSize, EmptyProfile());
    std::string shown = EventFormatter(false).Event(EVT_PARTNER_FOUND, found);
    EXPECT_NE(shown.find("\n  昵称：小红\\x0d\\x0a我：x\n"), std::string::npos) << shown;
}

} // namespace
