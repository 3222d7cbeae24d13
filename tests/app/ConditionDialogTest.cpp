#include "CConditionDialog.h"

#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "ModalDriver.h"
#include "SkinService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

using namespace res::condition_ids;

class ConditionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.OnInitDialog();
        dialog.show();
    }
    void TearDown() override { dialog.hide(); }

    QLineEdit* Edit(int id) { return res::ControlAs<QLineEdit>(&dialog, id); }
    QCheckBox* Box(int id) { return res::ControlAs<QCheckBox>(&dialog, id); }
    QRadioButton* Radio(int id) { return res::ControlAs<QRadioButton>(&dialog, id); }
    QComboBox* Topic() { return res::ControlAs<QComboBox>(&dialog, kTopic); }
    bool Enabled(int id) { return res::Control(&dialog, id)->isEnabled(); }

    // Types text as an input method commits it (the way Chinese reaches an edit).
    void Commit(int id, const QString& text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(Edit(id), &event);
    }
    void Retype(int id, const QString& text) {
        Edit(id)->clear();
        Commit(id, text);
    }
    void ClickOk() { res::ControlAs<QPushButton>(&dialog, kOk)->click(); }

    test::ModalDriver modals;
    CConditionDialog dialog;
};

// The screenshots show the dialog as the program shows it: with the default skin on.
struct ScopedDefaultSkin {
    ScopedDefaultSkin() { SkinService::Instance().Load(QStringLiteral(VESSARO_DEFAULT_SKIN)); }
    ~ScopedDefaultSkin() { SkinService::Instance().Remove(); }
};

TEST_F(ConditionDialogTest, FirstOpeningShowsTheDefaults) {
    ScopedDefaultSkin skin;
    EXPECT_EQ(Edit(kNickname)->text(), QStringLiteral("未名"));
    EXPECT_EQ(Edit(kCommunityId)->text(), QString());
    EXPECT_TRUE(Radio(kOwnMale)->isChecked());
    EXPECT_FALSE(Radio(kOwnFemale)->isChecked());
    EXPECT_EQ(Edit(kAge)->text(), QStringLiteral("24"));
    EXPECT_EQ(Edit(kCity)->text(), QStringLiteral("深圳"));
    EXPECT_EQ(Edit(kDistrict)->text(), QStringLiteral("南山"));
    EXPECT_EQ(Edit(kOccupation)->text(), QStringLiteral("计算机"));
    EXPECT_EQ(Edit(kIntro)->text(), QStringLiteral("自我介绍"));
    EXPECT_EQ(Topic()->currentText(), QStringLiteral("谈天说地"));
    EXPECT_TRUE(Box(kNoRestriction)->isChecked());
    EXPECT_TRUE(Box(kSexAny)->isChecked());
    EXPECT_TRUE(Box(kLocationAny)->isChecked());
    EXPECT_TRUE(Radio(kPartnerFemale)->isChecked());
    EXPECT_EQ(Edit(kMinAge)->text(), QStringLiteral("12"));
    EXPECT_EQ(Edit(kMaxAge)->text(), QStringLiteral("99"));
    EXPECT_EQ(Edit(kPartnerCity)->text(), QStringLiteral("深圳"));
    EXPECT_EQ(Edit(kPartnerDistrict)->text(), QString());
    for (int id : {kPartnerMale, kPartnerFemale, kSexAny, kMinAge, kMaxAge, kLocationAny,
                   kPartnerCity, kPartnerDistrict})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("条件设置"));
    test::SaveScreenshot(&dialog, QStringLiteral("conditions-defaults"));
}

TEST_F(ConditionDialogTest, TopicListHoldsTheTopicsThenTwoEmptyEntries) {
    QStringList entries;
    for (int i = 0; i < Topic()->count(); ++i)
        entries << Topic()->itemText(i);
    EXPECT_EQ(entries, (QStringList{"谈天说地", "股市沙龙", "英语会话", "体育赛事", "游山玩水",
                                    "投资创业", "有缘千里", "心情故事", "", ""}));
    EXPECT_TRUE(Topic()->isEditable());
}

TEST_F(ConditionDialogTest, EnablingFollowsEveryCombinationOfTheThreeBoxes) {
    for (int mask = 0; mask < 8; ++mask) {
        const bool none = mask & 1, sexAny = mask & 2, locationAny = mask & 4;
        dialog.values.noRestriction = none;
        dialog.values.sexAny = sexAny;
        dialog.values.locationAny = locationAny;
        dialog.UpdateControlStates();
        SCOPED_TRACE(::testing::Message() << "不限 " << none << " sex any " << sexAny
                                          << " location any " << locationAny);
        EXPECT_EQ(Enabled(kSexAny), !none);
        EXPECT_EQ(Enabled(kLocationAny), !none);
        EXPECT_EQ(Enabled(kMinAge), !none);
        EXPECT_EQ(Enabled(kMaxAge), !none);
        EXPECT_EQ(Enabled(kPartnerMale), !none && !sexAny);
        EXPECT_EQ(Enabled(kPartnerFemale), !none && !sexAny);
        EXPECT_EQ(Enabled(kPartnerCity), !none && !locationAny);
        EXPECT_EQ(Enabled(kPartnerDistrict), !none && !locationAny);
        for (int own : {kNickname, kAge, kOwnMale, kOwnFemale, kCity, kDistrict, kOccupation,
                        kIntro, kCommunityId, kTopic, kNoRestriction})
            EXPECT_TRUE(Enabled(own)) << own;
    }
}

TEST_F(ConditionDialogTest, ClickingTheBoxesReadsThemBackAndSwitchesTheFields) {
    ScopedDefaultSkin skin;
    QTest::mouseClick(Box(kNoRestriction), Qt::LeftButton);
    EXPECT_FALSE(dialog.values.noRestriction);
    EXPECT_TRUE(Enabled(kMinAge));
    EXPECT_TRUE(Enabled(kMaxAge));
    EXPECT_TRUE(Enabled(kSexAny));
    EXPECT_TRUE(Enabled(kLocationAny));
    EXPECT_FALSE(Enabled(kPartnerMale)) << "sex 都可以 is still ticked";
    EXPECT_FALSE(Enabled(kPartnerCity)) << "location 都可以 is still ticked";
    test::SaveScreenshot(&dialog, QStringLiteral("conditions-unrestricted"));

    QTest::mouseClick(Box(kSexAny), Qt::LeftButton);
    EXPECT_TRUE(Enabled(kPartnerMale));
    EXPECT_TRUE(Enabled(kPartnerFemale));
    QTest::mouseClick(Box(kSexAny), Qt::LeftButton);
    EXPECT_FALSE(Enabled(kPartnerMale));

    QTest::mouseClick(Box(kLocationAny), Qt::LeftButton);
    EXPECT_TRUE(Enabled(kPartnerCity));
    EXPECT_TRUE(Enabled(kPartnerDistrict));
    EXPECT_TRUE(modals.messages().isEmpty());
}

TEST_F(ConditionDialogTest, EveryLimitedEditTakesItsBytesOfChineseAndNotOneMore) {
    struct Case {
        int id;
        std::size_t limit;
    };
    const Case cases[] = {{kNickname, 32},    {kCity, 32},
                          {kDistrict, 32},    {kOccupation, 32},
                          {kPartnerCity, 32}, {kPartnerDistrict, 32},
                          {kCommunityId, 32}, {kIntro, CConditionDialog::kIntroEntryBytes}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const QString full = QString(static_cast<qsizetype>(c.limit / 2), QChar(0x6C49)) +
                             QString(static_cast<qsizetype>(c.limit % 2), QLatin1Char('a'));
        Retype(c.id, full);
        EXPECT_EQ(Edit(c.id)->text(), full);
        Commit(c.id, QStringLiteral("汉"));
        EXPECT_EQ(Edit(c.id)->text(), full) << "one more character is refused";
    }
    ClickOk();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.values.nickname, QString(16, QChar(0x6C49)).toStdString());
    EXPECT_EQ(dialog.values.intro.size(), 31u * 3 + 1) << "31 characters and a letter (UTF-8)";
    EXPECT_TRUE(modals.messages().isEmpty());
}

TEST_F(ConditionDialogTest, TopicMayBeTypedLongButIsRefusedOnReadingBack) {
    const QString longTopic = QStringLiteral("一二三四五六七八九"); // 18 bytes
    Topic()->setEditText(longTopic);
    EXPECT_EQ(Topic()->currentText(), longTopic) << "not limited while typing";
    Retype(kAge, QStringLiteral("30"));        // after the topic: keeps its old value
    Retype(kNickname, QStringLiteral("小明")); // before the topic: read back
    ClickOk();
    ASSERT_EQ(modals.messages().size(), 1);
    EXPECT_TRUE(modals.messages().first().contains(QStringLiteral("16")))
        << modals.messages().first().toStdString();
    EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
    EXPECT_TRUE(dialog.focusWidget() == Topic() || dialog.focusWidget() == Topic()->lineEdit());
    EXPECT_EQ(dialog.values.nickname, "小明");
    EXPECT_EQ(dialog.values.topic, "谈天说地");
    EXPECT_EQ(dialog.values.age, 24u);

    Topic()->setEditText(QStringLiteral("一二三四五六七八")); // exactly 16 bytes
    ClickOk();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.values.topic, "一二三四五六七八");
    EXPECT_EQ(dialog.values.age, 30u);
}

TEST_F(ConditionDialogTest, AgesOutsideTwelveToNinetyNineOrNotNumbersAreRefused) {
    QTest::mouseClick(Box(kNoRestriction), Qt::LeftButton); // so the partner ages can be typed
    struct Case {
        const char* typed;
        bool accepted;
        uint32_t value;
    };
    const Case cases[] = {{"11", false, 0},        {"12", true, 12},  {"99", true, 99},
                          {"100", false, 0},       {"abc", false, 0}, {"", false, 0},
                          {"-5", false, 0},        {"3.5", false, 0}, {" 40 ", true, 40},
                          {"4294967308", false, 0}};
    for (int id : {kAge, kMinAge, kMaxAge}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << id << " '" << c.typed << "'");
            dialog.values.age = dialog.values.minAge = dialog.values.maxAge = 50;
            dialog.UpdateData(false);
            Edit(id)->setText(QString::fromUtf8(c.typed));
            modals.clearMessages();
            EXPECT_EQ(dialog.UpdateData(true), c.accepted);
            const uint32_t stored = id == kAge      ? dialog.values.age
                                    : id == kMinAge ? dialog.values.minAge
                                                    : dialog.values.maxAge;
            if (c.accepted) {
                EXPECT_TRUE(modals.messages().isEmpty());
                EXPECT_EQ(stored, c.value);
            } else {
                ASSERT_EQ(modals.messages().size(), 1);
                EXPECT_TRUE(modals.messages().first().contains(QStringLiteral("12")) &&
                            modals.messages().first().contains(QStringLiteral("99")))
                    << modals.messages().first().toStdString();
                EXPECT_EQ(dialog.focusWidget(), Edit(id));
                EXPECT_EQ(stored, 50u) << "a refused age changes nothing";
            }
        }
    }
}

TEST_F(ConditionDialogTest, OkStopsAtTheFirstRefusedFieldAndKeepsTheLaterMembers) {
    Retype(kNickname, QStringLiteral("阿明"));   // before the age
    Retype(kAge, QStringLiteral("100"));         // refused
    Retype(kDistrict, QStringLiteral("福田"));   // after the age
    Retype(kCommunityId, QStringLiteral("u42")); // last of all
    ClickOk();
    EXPECT_EQ(modals.messages().size(), 1) << "one message, for the first refusal only";
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), Edit(kAge));
    EXPECT_EQ(dialog.values.nickname, "阿明");
    EXPECT_EQ(dialog.values.age, 24u);
    EXPECT_EQ(dialog.values.district, "南山");
    EXPECT_EQ(dialog.values.communityId, "");
}

TEST_F(ConditionDialogTest, ClickingNoRestrictionWithABadAgeLeavesTheEnablingAlone) {
    QTest::mouseClick(Box(kNoRestriction), Qt::LeftButton);
    Retype(kMaxAge, QStringLiteral("100"));
    QTest::mouseClick(Box(kNoRestriction), Qt::LeftButton); // tick it again
    EXPECT_EQ(modals.messages().size(), 1);
    EXPECT_FALSE(dialog.values.noRestriction) << "its new state was not read back";
    EXPECT_TRUE(Enabled(kMinAge));
    EXPECT_TRUE(Enabled(kMaxAge));
    EXPECT_EQ(dialog.focusWidget(), Edit(kMaxAge));
}

TEST_F(ConditionDialogTest, CancelKeepsWhatABoxClickReadBack) {
    Retype(kNickname, QStringLiteral("先读回"));
    QTest::mouseClick(Box(kNoRestriction), Qt::LeftButton);
    Retype(kNickname, QStringLiteral("未读回"));
    res::ControlAs<QPushButton>(&dialog, kCancel)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.values.nickname, "先读回");
    EXPECT_FALSE(dialog.values.noRestriction);

    dialog.OnInitDialog();
    dialog.show();
    EXPECT_EQ(Edit(kNickname)->text(), QStringLiteral("先读回"));
    EXPECT_FALSE(Box(kNoRestriction)->isChecked());
    EXPECT_TRUE(Enabled(kMinAge));
}

TEST(ConditionDialogModalTest, ValuesPersistFromOneOpeningToTheNext) {
    test::ModalDriver modals;
    CConditionDialog dialog;
    modals.OnNextDialog([](QDialog* d) {
        res::ControlAs<QLineEdit>(d, kNickname)->setText(QStringLiteral("小红"));
        res::ControlAs<QRadioButton>(d, kOwnFemale)->click();
        res::ControlAs<QLineEdit>(d, kAge)->setText(QStringLiteral("31"));
        res::ControlAs<QComboBox>(d, kTopic)->setCurrentIndex(2);
        res::ControlAs<QPushButton>(d, kOk)->click();
    });
    ASSERT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dialog.values.nickname, "小红");
    EXPECT_EQ(dialog.values.ownSexIndex, 1);
    EXPECT_EQ(dialog.values.age, 31u);
    EXPECT_EQ(dialog.values.topic, "英语会话");

    QString nickname, age, topic;
    bool female = false;
    modals.OnNextDialog([&](QDialog* d) {
        nickname = res::ControlAs<QLineEdit>(d, kNickname)->text();
        age = res::ControlAs<QLineEdit>(d, kAge)->text();
        topic = res::ControlAs<QComboBox>(d, kTopic)->currentText();
        female = res::ControlAs<QRadioButton>(d, kOwnFemale)->isChecked();
        res::ControlAs<QLineEdit>(d, kNickname)->setText(QStringLiteral("丢弃"));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    EXPECT_EQ(nickname, QStringLiteral("小红"));
    EXPECT_EQ(age, QStringLiteral("31"));
    EXPECT_EQ(topic, QStringLiteral("英语会话"));
    EXPECT_TRUE(female);
    EXPECT_EQ(dialog.values.nickname, "小红") << "Esc reads nothing back";
}

} // namespace
} // namespace vessaro
