#include "SafeText.h"

#include "Codec.h"

#include <gtest/gtest.h>

namespace vessaro {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct LineCase {
    const char* name;
    const char* in;
    const char* out;
};

TEST(SafeTextTest, SafeLineFoldsBreaksReplacesControlsAndDropsDirectionOverrides) {
    const LineCase cases[] = {
        {"plain", "小红 from 深圳", "小红 from 深圳"},
        {"crlf_is_one_blank", "a\r\nb", "a b"},
        {"lone_breaks_and_tab", "a\rb\nc\td", "a b c d"},
        {"vt_ff_nel_ls_ps", "a\vb\fc\u0085d\u2028e\u2029f", "a b c d e f"},
        {"escape_sequences", "\x1b[2J\x1b]0;title\x07", "\uFFFD[2J\uFFFD]0;title\uFFFD"},
        {"del_and_c1", "x\x7f\u009b\u0090y", "x\uFFFD\uFFFD\uFFFDy"},
        {"overrides", "abc\u202Efed\u202C!", "abcfed!"},
        {"embeddings", "\u202A\u202B\u202Dx", "x"},
        {"isolates", "\u2066\u2067\u2068y\u2069", "y"},
        {"marks_kept", "\u200Fa\u200Eb\u061C", "\u200Fa\u200Eb\u061C"},
        {"fake_second_line", "坏人\r\n性别：女", "坏人 性别：女"},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SafeLine(U(c.in)), U(c.out));
    }
}

TEST(SafeTextTest, SafeLinesKeepsTheCrLfLinesAndCleansEachOne) {
    EXPECT_EQ(SafeLines(U("昵称：a\r\n性别：女\r\n")), U("昵称：a\n性别：女\n"));
    EXPECT_EQ(SafeLines(U("x\ry\r\n\u202Ez\x1b")), U("x y\nz\uFFFD"));
    EXPECT_EQ(SafeLines(U("")), U(""));
}

int CountCrLf(std::string_view text) {
    int count = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2))
        ++count;
    return count;
}

TEST(SafeTextTest, AHostileProfileStillFormatsAsSixLines) {
    UserProfile hostile = EmptyProfile();
    CopyToField(hostile.nickname, EncodeGbkOrEmpty("坏人\r\n性别：女\r\n年龄：18"));
    CopyToField(hostile.occupation, EncodeGbkOrEmpty("a\nb\rc"));
    CopyToField(hostile.city, EncodeGbkOrEmpty("\u202E圳深"));
    CopyToField(hostile.district, std::string(63, '\x1b')); // grows fourfold as U+FFFD
    CopyToField(hostile.intro, "\xff\xfe");                 // not GBK at all
    hostile.sex = SEX_MALE;

    const UserProfile safe = SafeProfile(hostile);
    const std::string text = FormatProfileText(safe);
    EXPECT_EQ(CountCrLf(text), 5);
    EXPECT_EQ(DecodeGbk(FieldText(safe.nickname)), "坏人 性别：女 年龄：18");
    EXPECT_EQ(DecodeGbk(FieldText(safe.occupation)), "a b c");
    EXPECT_EQ(DecodeGbk(FieldText(safe.city)), "圳深");

    // Each escape shows as U+FFFD, four bytes here: the field keeps as many as fit whole.
    EXPECT_EQ(QString::fromStdString(DecodeGbk(FieldText(safe.district))),
              QString(15, QChar::ReplacementCharacter));
    EXPECT_FALSE(FieldText(safe.intro).empty()) << "bad bytes are shown, not dropped";
}

} // namespace
} // namespace vessaro
