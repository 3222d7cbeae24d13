#include "Codec.h"

#include <gtest/gtest.h>

#include <array>

using namespace vessaro;

namespace {

std::string Gbk(std::string_view utf8) {
    return EncodeGbk(utf8).value();
}

TEST(Codec, EncodesChineseAsGbkBytes) {
    EXPECT_EQ(Gbk("未名"), "\xCE\xB4\xC3\xFB");
    EXPECT_EQ(Gbk("abc"), "abc");
    EXPECT_EQ(GbkLength("深圳南山").value(), 8u);
}

TEST(Codec, CarriesCharactersOutsideGbkWithoutLoss) {
    const std::string text = "笑😀é€"; // the emoji and the euro sign are not GBK characters
    std::string encoded = Gbk(text);
    EXPECT_EQ(encoded.size(), 2u + 4u + 2u + 2u);
    EXPECT_EQ(DecodeGbk(encoded), text);
}

TEST(Codec, RefusesInvalidUtf8) {
    EXPECT_FALSE(EncodeGbk("\xC3").has_value());
    EXPECT_FALSE(EncodeGbk("ok\xFF").has_value());
    EXPECT_FALSE(GbkLength("\xED\xA0\x80").has_value()); // a lone surrogate
}

TEST(Codec, DecodesBadBytesAsReplacementAndKeepsTheRest) {
    EXPECT_EQ(DecodeGbk("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(DecodeGbk("\xCE\xB4\xC3"), "未\xEF\xBF\xBD"); // cut-off last character
    EXPECT_EQ(DecodeGbk(""), "");
}

TEST(Codec, CharacterLengths) {
    EXPECT_EQ(GbkCharLength("a"), 1u);
    EXPECT_EQ(GbkCharLength("\xCE\xB4"), 2u);
    EXPECT_EQ(GbkCharLength("\x81\x30\x81\x30"), 4u);
    EXPECT_EQ(GbkCharLength("\x81\x30\x81"), 1u); // cut off: one byte at a time
    EXPECT_EQ(GbkCharLength("\xCE"), 1u);
    EXPECT_EQ(GbkCharLength("\x80"), 1u);
    EXPECT_EQ(GbkCharLength(""), 0u);
}

TEST(Codec, TruncationNeverSplitsACharacter) {
    std::string text = "a" + Gbk("未名") + Gbk("😀"); // 1 + 4 + 4 bytes
    EXPECT_EQ(TruncateGbk(text, 9), text);
    EXPECT_EQ(TruncateGbk(text, 8), text.substr(0, 5));
    EXPECT_EQ(TruncateGbk(text, 4), text.substr(0, 3));
    EXPECT_EQ(TruncateGbk(text, 2), "a");
    EXPECT_EQ(TruncateGbk(text, 0), "");
}

TEST(Codec, FieldCopyStoresAtMost63BytesAndZeroFills) {
    std::array<char, 64> field;
    field.fill('\x55');
    std::string chinese;
    for (int i = 0; i < 40; ++i)
        chinese += Gbk("字"); // 80 bytes
    CopyToField(field, chinese);
    EXPECT_EQ(FieldText(field).size(), 62u); // 31 characters; the 32nd would need byte 63
    for (std::size_t i = 62; i < field.size(); ++i)
        EXPECT_EQ(field[i], 0) << "byte " << i;

    CopyToField(field, std::string(70, 'x'));
    EXPECT_EQ(FieldText(field), std::string(63, 'x'));
    EXPECT_EQ(field[63], 0);

    CopyToField(field, "ab");
    EXPECT_EQ(FieldText(field), "ab");
    for (std::size_t i = 2; i < field.size(); ++i)
        EXPECT_EQ(field[i], 0);
}

TEST(Codec, FieldWithoutTerminatorReadsToItsEnd) {
    std::array<char, 8> field;
    field.fill('z');
    EXPECT_EQ(FieldText(field), "zzzzzzzz");
}

} // namespace
