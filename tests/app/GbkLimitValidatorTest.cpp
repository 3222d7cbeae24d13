#include "GbkLimitValidator.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A paste past a 10-byte limit keeps what fits of the pasted text and everything that was there.
TEST(GbkLimitValidatorTest, PasteKeepsWhatFitsAtAWholeCharacter) {
    const struct {
        const char* name;
        QString before;
        int cursor;
        QString pasted;
        QString after;
    } cases[] = {
        {"letters", U(""), 0, U("abcdefghijkl"), U("abcdefghij")},
        {"chinese", U(""), 0, U("汉字汉字汉字"), U("汉字汉字汉")},
        {"no_half_character", U("abcdefghi"), 9, U("汉"), U("abcdefghi")},
        {"into_the_middle", U("abcd"), 2, U("1234567890"), U("ab123456cd")},
        {"four_byte_characters", U(""), 0, U("a😀😀😀"), U("a😀😀")},
        {"fits_whole", U("ab"), 2, U("汉字"), U("ab汉字")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QLineEdit edit;
        edit.setValidator(new GbkLimitValidator(10, &edit));
        edit.setText(c.before);
        edit.setCursorPosition(c.cursor);
        QApplication::clipboard()->setText(c.pasted);
        edit.paste();
        EXPECT_EQ(edit.text(), c.after);
        EXPECT_LE(GbkBytes(edit.text()), 10u);
    }
}

} // namespace
} // namespace vessaro
