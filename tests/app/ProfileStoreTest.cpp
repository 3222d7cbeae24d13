// The remembered profile and wishes: kept as typed, and a damaged file never gives a value the
// dialog could not have accepted.
#include "ProfileStore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

ConditionValues Typed() {
    ConditionValues v;
    v.nickname = "小明 = \"x\", y; #z"; // INI's own characters
    v.communityId = "id-42";
    v.ownSexIndex = 1;
    v.age = 99;
    v.city = "北京";
    v.district = "海淀";
    v.occupation = "医生";
    v.intro = std::string(31, 'a') + "汉"; // 63 bytes in GBK
    v.topic = "音乐";
    v.noRestriction = false;
    v.sexAny = false;
    v.partnerSexIndex = 0;
    v.minAge = 12;
    v.maxAge = 40;
    v.locationAny = false;
    v.partnerCity = "上海";
    v.partnerDistrict = "浦东";
    return v;
}

void ExpectSame(const ConditionValues& a, const ConditionValues& b) {
    EXPECT_EQ(a.nickname, b.nickname);
    EXPECT_EQ(a.communityId, b.communityId);
    EXPECT_EQ(a.ownSexIndex, b.ownSexIndex);
    EXPECT_EQ(a.age, b.age);
    EXPECT_EQ(a.city, b.city);
    EXPECT_EQ(a.district, b.district);
    EXPECT_EQ(a.occupation, b.occupation);
    EXPECT_EQ(a.intro, b.intro);
    EXPECT_EQ(a.topic, b.topic);
    EXPECT_EQ(a.noRestriction, b.noRestriction);
    EXPECT_EQ(a.sexAny, b.sexAny);
    EXPECT_EQ(a.partnerSexIndex, b.partnerSexIndex);
    EXPECT_EQ(a.minAge, b.minAge);
    EXPECT_EQ(a.maxAge, b.maxAge);
    EXPECT_EQ(a.locationAny, b.locationAny);
    EXPECT_EQ(a.partnerCity, b.partnerCity);
    EXPECT_EQ(a.partnerDistrict, b.partnerDistrict);
}

TEST(ProfileStoreTest, WhatIsStoredComesBackFromTheFileAndClearingGivesTheDefaults) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.conf"));
    {
        QSettings store(file, QSettings::IniFormat);
        ExpectSame(LoadProfile(store), ConditionValues{}); // first run
        StoreProfile(store, Typed());
    }
    QSettings store(file, QSettings::IniFormat);
    ExpectSame(LoadProfile(store), Typed());
    ClearProfile(store);
    ExpectSame(LoadProfile(QSettings(file, QSettings::IniFormat)), ConditionValues{});
}

// Each line replaces one stored value in the file, as a hand edit or damage would; only that
// field falls back to its default.
TEST(ProfileStoreTest, ADamagedFieldGivesItsDefaultAndKeepsTheOthers) {
    const struct {
        const char* key;
        const char* line; // as written into the INI file
    } cases[] = {
        {"age", "age=100"},
        {"age", "age=11"},
        {"age", "age=-5"},
        {"age", "age=2x"},
        {"age", "age=4294967320"},
        {"minAge", "minAge="},
        {"maxAge", "maxAge=@Invalid()"},
        {"sex", "sex=2"},
        {"partnerSex", "partnerSex=-1"},
        {"sexAny", "sexAny=yes"},
        {"noRestriction", "noRestriction=1"},
        {"nickname", "nickname=123456789012345678901234567890123"},
        {"nickname", "nickname=a, b"},
        {"nickname", "nickname=\"line\\nbreak\""},
        {"topic", "topic=\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37"},
        {"city", "city=@ByteArray(\\xff\\xfe)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("p.conf"));
        StoreProfile(*std::make_unique<QSettings>(file, QSettings::IniFormat), Typed());
        QFile ini(file);
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        QByteArray text = ini.readAll();
        ini.close();
        const QByteArray prefix = QByteArray("\n") + c.key + '=';
        const qsizetype at = text.indexOf(prefix);
        ASSERT_GE(at, 0);
        text.replace(at + 1, text.indexOf('\n', at + 1) - at - 1, c.line);
        // Edited into another file: QSettings keeps files it has seen cached for as long as their
        // size and time stamp look unchanged, as a same-length edit within a second would.
        const QString edited = dir.filePath(QStringLiteral("edited.conf"));
        QFile out(edited);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();

        const ConditionValues loaded = LoadProfile(QSettings(edited, QSettings::IniFormat));
        ConditionValues expected = Typed();
        const ConditionValues defaults;
        const std::string key = c.key;
        if (key == "age")
            expected.age = defaults.age;
        if (key == "minAge")
            expected.minAge = defaults.minAge;
        if (key == "maxAge")
            expected.maxAge = defaults.maxAge;
        if (key == "sex")
            expected.ownSexIndex = defaults.ownSexIndex;
        if (key == "partnerSex")
            expected.partnerSexIndex = defaults.partnerSexIndex;
        if (key == "sexAny")
            expected.sexAny = defaults.sexAny;
        if (key == "noRestriction")
            expected.noRestriction = defaults.noRestriction;
        if (key == "nickname")
            expected.nickname = defaults.nickname;
        if (key == "topic")
            expected.topic = defaults.topic;
        if (key == "city")
            expected.city = defaults.city;
        ExpectSame(loaded, expected);
    }
}

TEST(ProfileStoreTest, AnUnreadableFileGivesTheDefaults) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.conf"));
    QFile garbage(file);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray("\x00\xff[profile\nage=\x80\x81\n=\n", 22));
    garbage.close();
    ExpectSame(LoadProfile(QSettings(file, QSettings::IniFormat)), ConditionValues{});
}

} // namespace
} // namespace vessaro
