// The remembered profile and wishes: kept as typed, and a damaged file never gives a value the
// dialog could not have accepted.
#include "ProfileStore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace vessaro {
namespace {

ConditionValues Typed() {
    ConditionValues v;
    v.nickname = "小明 = \"x\", y; #z"; // INI's own characters
    v.communityId = "id-42";
    v.ownSexIndex = 1;
    v.age = 99;
    v.city = "北京";
    v.intro = std::string(61, 'a') + "汉"; // 63 bytes in GBK, the most the dialog takes
    v.topic = "音乐";
    v.noRestriction = v.sexAny = v.locationAny = false;
    v.partnerSexIndex = 0;
    v.maxAge = 40;
    v.partnerDistrict = "浦东";
    return v;
}

auto Fields(const ConditionValues& v) {
    return std::tie(v.nickname, v.communityId, v.ownSexIndex, v.age, v.city, v.district,
                    v.occupation, v.intro, v.topic, v.noRestriction, v.sexAny, v.partnerSexIndex,
                    v.minAge, v.maxAge, v.locationAny, v.partnerCity, v.partnerDistrict);
}

TEST(ProfileStoreTest, WhatIsStoredComesBackFromTheFileAndClearingGivesTheDefaults) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.conf"));
    {
        QSettings store(file, QSettings::IniFormat);
        EXPECT_EQ(Fields(LoadProfile(store)), Fields(ConditionValues{})); // first run
        StoreProfile(store, Typed());
    }
    QSettings store(file, QSettings::IniFormat);
    EXPECT_EQ(Fields(LoadProfile(store)), Fields(Typed()));
    ClearProfile(store);
    EXPECT_EQ(Fields(LoadProfile(QSettings(file, QSettings::IniFormat))),
              Fields(ConditionValues{}));
}

// Each line replaces one stored value in the file, as a hand edit or damage would; only that
// field falls back to its default.
TEST(ProfileStoreTest, ADamagedFieldGivesItsDefaultAndKeepsTheOthers) {
    using Reset = std::function<void(ConditionValues&)>;
    const ConditionValues d;
    const Reset age = [&](ConditionValues& v) { v.age = d.age; };
    const Reset nickname = [&](ConditionValues& v) { v.nickname = d.nickname; };
    const struct {
        const char* key;
        const char* line; // as written into the INI file
        Reset reset;
    } cases[] = {
        {"age", "age=100", age},
        {"age", "age=11", age},
        {"age", "age=-5", age},
        {"age", "age=4294967320", age},
        {"maxAge", "maxAge=@Invalid()", [&](ConditionValues& v) { v.maxAge = d.maxAge; }},
        {"sex", "sex=2", [&](ConditionValues& v) { v.ownSexIndex = d.ownSexIndex; }},
        {"sexAny", "sexAny=yes", [&](ConditionValues& v) { v.sexAny = d.sexAny; }},
        {"nickname", "nickname=123456789012345678901234567890123", nickname},
        {"nickname", "nickname=a, b", nickname},
        {"nickname", "nickname=\"line\\nbreak\"", nickname},
        {"topic", "topic=\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37\\x8c37",
         [&](ConditionValues& v) { v.topic = d.topic; }},
        {"city", "city=@ByteArray(\\xff\\xfe)", [&](ConditionValues& v) { v.city = d.city; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("p.conf"));
        StoreProfile(*std::make_unique<QSettings>(file, QSettings::IniFormat), Typed());
        QFile ini(file);
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        QByteArray text = ini.readAll();
        const qsizetype at = text.indexOf(QByteArray("\n") + c.key + '=');
        ASSERT_GE(at, 0);
        text.replace(at + 1, text.indexOf('\n', at + 1) - at - 1, c.line);
        // Edited into another file: QSettings keeps files it has seen cached for as long as their
        // size and time stamp look unchanged, as a same-length edit within a second would.
        QFile edited(dir.filePath(QStringLiteral("edited.conf")));
        ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
        edited.write(text);
        edited.close();

        ConditionValues expected = Typed();
        c.reset(expected);
        EXPECT_EQ(Fields(LoadProfile(QSettings(edited.fileName(), QSettings::IniFormat))),
                  Fields(expected));
    }
}

} // namespace
} // namespace vessaro
