#include "DialogBuilder.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace vessaro::res {
namespace {

DialogTemplate SampleTemplate() {
    return DialogTemplate{
        .id = 500,
        .caption = "样例",
        .fontFace = "宋体",
        .pointSize = 9,
        .width = 200,
        .height = 100,
        .minimizeBox = false,
        .controls =
            {
                {10, ControlKind::Edit, "文字", {10, 10, 60, 12}},
                {11, ControlKind::RadioButton, "甲", {10, 30, 20, 10}, kGroupStart},
                {12, ControlKind::RadioButton, "乙", {40, 30, 20, 10}},
                {13, ControlKind::RadioButton, "丙", {10, 45, 20, 10}, kGroupStart},
                {14, ControlKind::RadioButton, "丁", {40, 45, 20, 10}},
                {15, ControlKind::Static, "A&&B &C", {80, 10, 60, 8}},
                {16, ControlKind::Static, "A&&B &C", {80, 20, 60, 8}, kNoPrefix},
                {17, ControlKind::DefaultPushButton, "确定", {140, 80, 50, 14}},
                {18, ControlKind::PushButton, "隐藏", {80, 80, 50, 14}, kHidden | kDisabled},
                {19, ControlKind::ComboBox, "", {80, 40, 60, 100}},
                {20, ControlKind::Edit, "", {10, 60, 60, 30}, kMultiline},
                {21, ControlKind::Static, "居中", {150, 10, 40, 8}, kCentered},
                {kNoId, ControlKind::GroupBox, "框", {5, 5, 190, 90}}, // last, yet below all
            },
    };
}

class DialogBuilderTest : public ::testing::Test {
protected:
    void SetUp() override { BuildDialog(SampleTemplate(), &dialog); }
    QDialog dialog;
};

TEST_F(DialogBuilderTest, NamesEveryControlByItsIdAndGivesTheKindItsWidget) {
    EXPECT_NE(ControlAs<QLineEdit>(&dialog, 10), nullptr);
    EXPECT_NE(ControlAs<QRadioButton>(&dialog, 11), nullptr);
    EXPECT_NE(ControlAs<QLabel>(&dialog, 15), nullptr);
    EXPECT_NE(ControlAs<QPushButton>(&dialog, 17), nullptr);
    EXPECT_NE(ControlAs<QComboBox>(&dialog, 19), nullptr);
    EXPECT_NE(ControlAs<QPlainTextEdit>(&dialog, 20), nullptr);
    EXPECT_EQ(Control(&dialog, 99), nullptr);
    EXPECT_EQ(ControlAs<QLineEdit>(&dialog, 15), nullptr) << "wrong type gives null";
}

TEST_F(DialogBuilderTest, ConvertsDialogUnitsWithTheFontsBaseUnits) {
    const DialogBaseUnits units = BaseUnits(dialog.font());
    ASSERT_GT(units.x, 0);
    ASSERT_GT(units.y, 0);
    const QRect edit = Control(&dialog, 10)->geometry();
    EXPECT_EQ(edit.x(), qRound(10 * units.x / 4.0));
    EXPECT_EQ(edit.y(), qRound(10 * units.y / 8.0));
    EXPECT_EQ(edit.width(), qRound(60 * units.x / 4.0));
    EXPECT_EQ(edit.height(), qRound(12 * units.y / 8.0));
    EXPECT_EQ(dialog.size(), QSize(qRound(200 * units.x / 4.0), qRound(100 * units.y / 8.0)));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the size is fixed";
}

TEST_F(DialogBuilderTest, UsesAnInstalledChineseFontWhenTheFaceIsMissing) {
    const QFontInfo info(dialog.font());
    EXPECT_TRUE(QFontMetrics(dialog.font()).inFont(QChar(0x4E2D))) << info.family().toStdString();
    EXPECT_EQ(dialog.font().pointSize(), 9);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("样例"));
}

TEST_F(DialogBuilderTest, RadioButtonsAreExclusiveOnlyWithinTheirGroup) {
    auto* a = ControlAs<QRadioButton>(&dialog, 11);
    auto* b = ControlAs<QRadioButton>(&dialog, 12);
    auto* c = ControlAs<QRadioButton>(&dialog, 13);
    auto* d = ControlAs<QRadioButton>(&dialog, 14);
    ASSERT_NE(a->group(), nullptr);
    EXPECT_EQ(a->group(), b->group());
    EXPECT_EQ(c->group(), d->group());
    EXPECT_NE(a->group(), c->group());
    a->click();
    c->click();
    EXPECT_TRUE(a->isChecked()) << "a click in the second group leaves the first alone";
    b->click();
    EXPECT_FALSE(a->isChecked());
    EXPECT_TRUE(c->isChecked());
}

TEST_F(DialogBuilderTest, StaticsTakeAmpersandsAsMnemonicsUnlessTheyHaveNoPrefix) {
    EXPECT_EQ(ControlAs<QLabel>(&dialog, 15)->text(), QStringLiteral("A&B C"));
    EXPECT_EQ(ControlAs<QLabel>(&dialog, 16)->text(), QStringLiteral("A&&B &C"));
    EXPECT_EQ(ControlAs<QLabel>(&dialog, 15)->textFormat(), Qt::PlainText);
    EXPECT_TRUE(ControlAs<QLabel>(&dialog, 21)->alignment() & Qt::AlignHCenter);
}

TEST_F(DialogBuilderTest, AppliesDefaultHiddenAndDisabledStyles) {
    EXPECT_TRUE(ControlAs<QPushButton>(&dialog, 17)->isDefault());
    dialog.show();
    EXPECT_FALSE(Control(&dialog, 18)->isVisible());
    EXPECT_FALSE(Control(&dialog, 18)->isEnabled());
    EXPECT_TRUE(Control(&dialog, 10)->isVisible());
    dialog.hide();
}

TEST_F(DialogBuilderTest, GroupBoxesLieBehindTheControlsTheyFrame) {
    auto* box = dialog.findChild<QGroupBox*>();
    ASSERT_NE(box, nullptr);
    const QObjectList& children = dialog.children();
    const auto boxAt = children.indexOf(box);
    EXPECT_LT(boxAt, children.indexOf(Control(&dialog, 10))) << "stacked below";
    EXPECT_TRUE(box->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(DialogBuilderTest, ComboBoxIsAsHighAsAnEditWhateverItsListHeight) {
    EXPECT_EQ(Control(&dialog, 19)->height(), Control(&dialog, 10)->height());
    EXPECT_TRUE(ControlAs<QComboBox>(&dialog, 19)->isEditable());
}

TEST_F(DialogBuilderTest, FollowsReadingOrderInTheTabChain) {
    QWidget* edit = Control(&dialog, 10);
    QWidget* next = edit->nextInFocusChain();
    while (next && next->focusPolicy() == Qt::NoFocus)
        next = next->nextInFocusChain();
    EXPECT_EQ(next, Control(&dialog, 11));
}

TEST(DialogMenuTest, MenuBarPushesTheControlsDownWhicheverIsBuiltFirst) {
    const MenuTemplate menu{135, "文件", {{32771, "保存"}, {0, ""}, {32772, "关闭"}}};
    QDialog plain;
    BuildDialog(SampleTemplate(), &plain);
    const QRect editWithoutMenu = Control(&plain, 10)->geometry();
    const int heightWithoutMenu = plain.height();

    QDialog menuAfter;
    BuildDialog(SampleTemplate(), &menuAfter);
    QMenuBar* bar = BuildMenu(menu, &menuAfter);
    QDialog menuFirst;
    BuildMenu(menu, &menuFirst);
    BuildDialog(SampleTemplate(), &menuFirst);

    for (QDialog* dialog : {&menuAfter, &menuFirst}) {
        auto* dialogBar = dialog->findChild<QMenuBar*>();
        ASSERT_NE(dialogBar, nullptr);
        EXPECT_EQ(Control(dialog, 10)->geometry(),
                  editWithoutMenu.translated(0, dialogBar->height()));
        EXPECT_EQ(dialog->height(), heightWithoutMenu + dialogBar->height());
        EXPECT_EQ(dialogBar->width(), dialog->width());
    }
    const QList<QAction*> items = bar->actions().first()->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->objectName(), QStringLiteral("32771"));
    EXPECT_EQ(items[0]->data().toInt(), 32771);
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), QStringLiteral("关闭"));
}

} // namespace
} // namespace vessaro::res
