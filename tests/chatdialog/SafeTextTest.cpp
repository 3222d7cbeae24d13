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

} // namespace
} // namespace vessaro
