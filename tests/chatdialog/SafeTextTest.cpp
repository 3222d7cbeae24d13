#include "SafeText.h"

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

TEST(SafeTextTest, WrappableBreaksOnlyLongRunsAndNeverASurrogatePair) {
    const QString z(QChar(0x200B));
    const struct {
        const char* name;
        QString in;
        QString out;
    } cases[] = {
        {"short_words", U("昵称：Tom Smith"), U("昵称：Tom Smith")},
        {"eight_is_short", U("abcdefgh ijk"), U("abcdefgh ijk")},
        {"long_run", U("昵称：abcdefghij"),
         U("昵称：a\u200Bb\u200Bc\u200Bd\u200Be\u200Bf\u200Bg\u200Bh\u200Bi\u200Bj")},
        {"ideographs_untouched", U("很长很长很长很长很长很长"), U("很长很长很长很长很长很长")},
        {"pairs_kept", U("x😀😀😀😀y"),
         U("x") + z + U("😀") + z + U("😀") + z + U("😀") + z + U("😀") + z + U("y")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Wrappable(c.in), c.out);
        EXPECT_EQ(QString(Wrappable(c.in)).remove(QChar(0x200B)), c.in) << "nothing else changes";
    }
}

TEST(SafeTextTest, NotificationTextIsOneSafeLineCutAtAWholeCharacter) {
    EXPECT_EQ(NotificationText(U("  a\r\nb\u202E  ")), U("a b"));
    EXPECT_EQ(NotificationText(QString(150, QLatin1Char('x'))).size(), 100);
    const QString emoji = U("😀");
    const QString cut = NotificationText(QString(4, QLatin1Char('x')) + emoji + U("yyyy"), 6);
    EXPECT_EQ(cut, U("xxxx…")) << "the pair goes whole or not at all";
}

} // namespace
} // namespace vessaro
