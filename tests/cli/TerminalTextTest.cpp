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

struct SafeRow {
    const char* name;
    std::string input;
    std::string shown;
};

void PrintTo(const SafeRow& row, std::ostream* os) {
    *os << row.name;
}

class SafeRows : public ::testing::TestWithParam<SafeRow> {};

TEST_P(SafeRows, ControlsAreShownAsEscapes) {
    const SafeRow& row = GetParam();
    std::string shown = TerminalSafe(row.input);
    EXPECT_EQ(shown, row.shown);
    for (unsigned char c : shown)
        EXPECT_TRUE(c >= 0x20 && c != 0x7F) << int(c);
}

INSTANTIATE_TEST_SUITE_P(
    TerminalText, SafeRows,
    ::testing::Values(SafeRow{"Plain", "你好 hello", "你好 hello"},
                      SafeRow{"ClearScreen", "\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H"},
                      SafeRow{"WindowTitle", "\x1b]0;pwned\x07", "\\x1b]0;pwned\\x07"},
                      SafeRow{"NulTabBackspace", std::string("a\0b\tc\bd", 7),
                              "a\\x00b\\x09c\\x08d"},
                      SafeRow{"LineBreaks", "a\r\nb\rc\n", "a\\x0d\\x0ab\\x0dc\\x0a"},
                      SafeRow{"Del", "x\x7fy", "x\\x7fy"},
                      SafeRow{"C1Csi",
                              "\xc2\x9b"
                              "31m",
                              "\\u009b31m"},
                      SafeRow{"C1Nel",
                              "a\xc2\x85"
                              "b",
                              "a\\u0085b"},
                      SafeRow{"NoBreakSpaceKept",
                              "a\xc2\xa0"
                              "b",
                              "a\xc2\xa0"
                              "b"},
                      SafeRow{"RightToLeftOverride",
                              "abc\xe2\x80\xae"
                              "fdp.exe",
                              "abc\\u202efdp.exe"},
                      SafeRow{"Isolates", "\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069"},
                      SafeRow{"Marks", "\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c", "\\u200e\\u200f\\u061c"},
                      SafeRow{"LineSeparator",
                              "a\xe2\x80\xa8"
                              "b",
                              "a\\u2028b"},
                      SafeRow{"InvalidBytes", "\xff\xfe", "\\xff\\xfe"},
                      SafeRow{"Overlong", "\xc0\xaf", "\\xc0\\xaf"},
                      SafeRow{"Surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
                      SafeRow{"Truncated", "ok\xe4\xbd", "ok\\xe4\\xbd"},
                      SafeRow{"AboveUnicode", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
                      SafeRow{"Emoji", "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
                      SafeRow{"ReplacementCharacterKept", "a\xef\xbf\xbd", "a\xef\xbf\xbd"},
                      SafeRow{"GbkEscape", DecodeGbk("\x1b[5m\xc4\xe3"), "\\x1b[5m你"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalText, LinesSplitAtEveryKindOfBreakAndAreEachSafe) {
    EXPECT_EQ(TerminalLines(""), std::vector<std::string>{""});
    EXPECT_EQ(TerminalLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(TerminalLines("\n\n"), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(TerminalLines("x\x1b[1A\ny\xc2\x85"),
              (std::vector<std::string>{"x\\x1b[1A", "y\\u0085"}));
}

// Every line printed for a partner's text starts with the partner's label, whatever the text
// holds: it cannot pose as the user's own line or as the program's.
TEST(TerminalText, PartnerTextCannotForgeOtherLines) {
    const char* forged = "hi\r\n我：我的密码是 1234\n对话结束。\r\x1b[2K已断开与服务器的连接。";
    TalkText text = MakeTalkText(EncodeGbk(forged).value());
    EventBlock block(kTalkBlockSize);
    std::memcpy(block.data(), &text, sizeof text);
    std::string shown = EventFormatter(false).Event(EVT_TALK_TEXT, block);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start <= shown.size(); start = end + 1) {
        end = std::min(shown.find('\n', start), shown.size());
        lines.push_back(shown.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 4u) << shown;
    EXPECT_EQ(lines[0], "对方：hi");
    EXPECT_EQ(lines[1], "对方| 我：我的密码是 1234");
    EXPECT_EQ(lines[2], "对方| 对话结束。");
    EXPECT_EQ(lines[3], "对方| \\x1b[2K已断开与服务器的连接。");
    EXPECT_EQ(shown.find('\r'), std::string::npos);
}

// Profile fields and notices are one line each, however they were built.
TEST(TerminalText, ProfileAndNoticeStayOnTheirLines) {
    UserProfile partner = EmptyProfile();
    CopyToField(partner.nickname, EncodeGbk("小红\r\n我：fake").value());
    CopyToField(partner.intro, "\x1b]2;title\x07");
    EventBlock block(kPartnerBlockSize);
    StoreProfile(block.data(), partner);
    StoreProfile(block.data() + kUserProfileSize, EmptyProfile());
    std::string shown = EventFormatter(false).Event(EVT_PARTNER_FOUND, block);
    EXPECT_NE(shown.find("  昵称：小红\\x0d\\x0a我：fake\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  简介：\\x1b]2;title\\x07"), std::string::npos) << shown;

    std::string url = "http://x/\n对话结束。\x1b[31m";
    EventBlock notice = MakeNoticeBlock(0, EncodeGbk(url).value());
    EXPECT_EQ(EventFormatter(false).Event(EVT_NOTICE, notice),
              "通知：http://x/\\x0a对话结束。\\x1b[31m");
}

} // namespace
