#include "CAboutDialog.h"
#include "CConditionDialog.h"
#include "CMatchDialog.h"
#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "FakeMatchEngine.h"
#include "MatchDialogTemplate.h"
#include "SkinService.h"

#include <QAccessible>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

namespace vessaro {
namespace {

using namespace res::condition_ids;

// The ID of the template control that widget is, or lies inside (a drop-down's edit); 0 for none.
int ControlId(const QWidget* widget, const QWidget* dialog) {
    for (; widget && widget != dialog; widget = widget->parentWidget()) {
        bool ok = false;
        const int id = widget->objectName().toInt(&ok);
        if (ok)
            return id;
    }
    return 0;
}

// The controls that Tab visits from the first one, in the order it visits them, once round.
std::vector<int> TabChain(QWidget* dialog, int firstId) {
    QWidget* first = res::Control(dialog, firstId);
    std::vector<int> ids{firstId};
    for (QWidget* w = first->nextInFocusChain(); w && w != first; w = w->nextInFocusChain()) {
        const int id = ControlId(w, dialog);
        if ((w->focusPolicy() & Qt::TabFocus) && id != 0 && id != ids.back())
            ids.push_back(id);
    }
    return ids;
}

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// Every control that the keyboard can reach has a name that assistive technology reads out.
void ExpectFocusableControlsNamed(QWidget* dialog) {
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
        bool isControl = false;
        widget->objectName().toInt(&isControl); // not a part of one, such as a drop-down's list
        if (isControl && (widget->focusPolicy() & Qt::TabFocus)) {
            EXPECT_FALSE(AccessibleName(widget).isEmpty())
                << widget->metaObject()->className() << " " << widget->objectName().toStdString()
                << " in " << dialog->windowTitle().toStdString();
        }
    }
}

TEST(KeyboardAccessTest, ConditionsTabFollowsTheRowsOfEachBoxIncludingTheCommunityId) {
    CConditionDialog conditions;
    const std::vector<int> expected{
        kTopic,         kNickname,    kOwnMale,       kOwnFemale,       kCommunityId,
        kAge,           kCity,        kDistrict,      kOccupation,      kIntro,
        kNoRestriction, kPartnerMale, kPartnerFemale, kSexAny,          kMinAge,
        kMaxAge,        kLocationAny, kPartnerCity,   kPartnerDistrict, kOk,
        kCancel,
    };
    EXPECT_EQ(TabChain(&conditions, kTopic), expected);

    // Pressed for real: from the nickname, Tab reaches the sex (a radio group is one stop, at its
    // checked button), 社区ID, the age and the city.
    conditions.OnInitDialog();
    conditions.show();
    conditions.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&conditions));
    res::Control(&conditions, kNickname)->setFocus(Qt::TabFocusReason);
    std::vector<int> visited;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(ControlId(QApplication::focusWidget(), &conditions));
    }
    EXPECT_EQ(visited, (std::vector<int>{kOwnMale, kCommunityId, kAge, kCity}));
}

TEST(KeyboardAccessTest, LabelsAreTheBuddiesOfTheFieldsBesideThem) {
    CConditionDialog conditions;
    const std::pair<int, const char*> named[] = {
        {kTopic, "话题选择"}, {kNickname, "昵称"}, {kCommunityId, "社区ID"},
        {kAge, "年龄"},       {kCity, "位置"},     {kOccupation, "行业"},
        {kIntro, "简介"},     {kMinAge, "年龄"},   {kMaxAge, "到"},
    };
    std::map<int, QString> buddyLabels;
    for (const QLabel* label : conditions.findChildren<QLabel*>()) {
        if (label->buddy())
            buddyLabels[ControlId(label->buddy(), &conditions)] = label->text();
        // The units after a field ("市", "区") name nothing.
        if (label->text() == QStringLiteral("市") || label->text() == QStringLiteral("区")) {
            EXPECT_EQ(label->buddy(), nullptr);
        }
    }
    for (const auto& [id, text] : named) {
        EXPECT_EQ(buddyLabels[id], QString::fromUtf8(text)) << id;
        // (A drop-down's name read out on this desktop is its value; its label's text is its own.)
        EXPECT_EQ(res::Control(&conditions, id)->accessibleName(), QString::fromUtf8(text)) << id;
    }
}

TEST(KeyboardAccessTest, EveryWindowNamesItsControls) {
    test::FakeMatchEngine engine;
    CMatchDialog match(QStringLiteral("127.0.0.9"), 13366, QStringLiteral("http://127.0.0.1:1"),
                       &engine);
    CAboutDialog about;
    CConditionDialog conditions;
    for (QWidget* dialog : std::initializer_list<QWidget*>{&match, &about, &conditions})
        ExpectFocusableControlsNamed(dialog);
    EXPECT_EQ(AccessibleName(res::Control(&match, res::match_ids::kHtmlArea)),
              QStringLiteral("信息页面"));
    EXPECT_EQ(AccessibleName(res::Control(&match, res::match_ids::kStatus)),
              QStringLiteral("状态"));
    EXPECT_EQ(TabChain(&match, res::match_ids::kStart),
              (std::vector<int>{res::match_ids::kStart, res::match_ids::kCancel}));
}

TEST(KeyboardAccessTest, TheSkinShowsWhichControlHasTheFocus) {
    SkinService::Instance().Load(QStringLiteral(VESSARO_DEFAULT_SKIN));
    CConditionDialog conditions;
    conditions.OnInitDialog();
    conditions.show();
    conditions.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&conditions));
    res::Control(&conditions, kOk)->setFocus(); // away from the controls looked at
    for (int id : {kNickname, kNoRestriction, kCancel}) {
        QWidget* control = res::Control(&conditions, id);
        const QImage before = control->grab().toImage();
        control->setFocus(Qt::TabFocusReason);
        EXPECT_NE(control->grab().toImage(), before) << id;
    }
    SkinService::Instance().Remove();
}

} // namespace
} // namespace vessaro
