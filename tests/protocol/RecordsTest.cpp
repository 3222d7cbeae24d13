#include "Records.h"
#include "Codec.h"
#include "ConditionValues.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vessaro;

namespace {

std::string Gbk(std::string_view utf8) {
    return EncodeGbk(utf8).value();
}
std::string Text(std::span<const char> field) {
    return std::string(FieldText(field));
}

void ExpectZeroAfterTerminator(std::span<const char> field) {
    std::size_t len = FieldText(field).size();
    ASSERT_LT(len, field.size());
    for (std::size_t i = len; i < field.size(); ++i)
        EXPECT_EQ(field[i], 0) << "byte " << i;
}

TEST(Records, DefaultConditionsFillTheExampleRecords) {
    ConditionValues values;
    UserProfile p;
    MatchRequirement r;
    FillRecords(values, p, r);

    EXPECT_EQ(Text(p.communityId), "");
    EXPECT_EQ(Text(p.nickname), Gbk("未名"));
    EXPECT_EQ(p.sex, SEX_MALE);
    EXPECT_EQ(p.age, 24u);
    EXPECT_EQ(Text(p.occupation), Gbk("计算机"));
    EXPECT_EQ(Text(p.city), Gbk("深圳"));
    EXPECT_EQ(Text(p.district), Gbk("南山"));
    EXPECT_EQ(Text(p.intro), Gbk("自我介绍"));

    EXPECT_EQ(Text(r.topic), Gbk("谈天说地"));
    EXPECT_EQ(r.sex, SEX_ANY);
    EXPECT_EQ(r.minAge, 0u);
    EXPECT_EQ(r.maxAge, 120u);
    EXPECT_EQ(Text(r.city), "");
    EXPECT_EQ(Text(r.district), "");

    for (std::span<const char> field : {std::span<const char>(p.communityId),
                                        {p.nickname},
                                        {p.occupation},
                                        {p.city},
                                        {p.district},
                                        {p.intro},
                                        {r.topic},
                                        {r.city},
                                        {r.district}})
        ExpectZeroAfterTerminator(field);
}

TEST(Records, DefaultProfileRendersAsSixLines) {
    ConditionValues values;
    UserProfile p;
    MatchRequirement r;
    FillRecords(values, p, r);
    EXPECT_EQ(DecodeGbk(FormatProfileText(p)),
              "昵称：未名\r\n性别：男\r\n年龄：24\r\n职业：计算机\r\n"
              "位置：深圳市南山区\r\n简介：自我介绍");
}

TEST(Records, ProfileTextOddCases) {
    UserProfile p = EmptyProfile();
    CopyToField(p.city, Gbk("北京"));
    p.age = 4294967295u;
    for (int32_t sex : {0, 2, 3, -1}) {
        p.sex = sex;
        EXPECT_EQ(DecodeGbk(FormatProfileText(p)),
                  "昵称：\r\n性别：女\r\n年龄：4294967295\r\n职业：\r\n位置：北京市区\r\n简介：")
            << "sex " << sex;
    }
    // A received field with no terminator ends at the field's end, never beyond.
    std::memset(p.nickname, 'n', sizeof p.nickname);
    EXPECT_NE(FormatProfileText(p).find(std::string(64, 'n') + Gbk("\r\n性别")), std::string::npos);
}

TEST(Records, RequirementFromPartnerFields) {
    ConditionValues v;
    v.noRestriction = false;
    v.sexAny = true;
    v.minAge = 30;
    v.maxAge = 20;
    v.locationAny = false;
    v.partnerCity = "深圳  ";
    v.partnerDistrict = "";
    UserProfile p;
    MatchRequirement r;
    FillRecords(v, p, r);
    EXPECT_EQ(r.sex, SEX_ANY);
    EXPECT_EQ(r.minAge, 30u); // sent as entered, not reordered
    EXPECT_EQ(r.maxAge, 20u);
    EXPECT_EQ(Text(r.city), Gbk("深圳"));
    EXPECT_EQ(Text(r.district), "");
    EXPECT_EQ(v.partnerCity, "深圳"); // the stored value is trimmed as well

    v.sexAny = false;
    v.partnerSexIndex = 0;
    v.locationAny = true;
    v.partnerDistrict = "福田\t ";
    FillRecords(v, p, r);
    EXPECT_EQ(r.sex, SEX_MALE);
    EXPECT_EQ(Text(r.city), "");
    EXPECT_EQ(Text(r.district), "");
    EXPECT_EQ(v.partnerDistrict, "福田");
}

TEST(Records, NoRestrictionIgnoresPartnerFieldsButKeepsTopic) {
    ConditionValues v;
    v.topic = "股市沙龙";
    v.sexAny = false;
    v.partnerSexIndex = 0;
    v.locationAny = false;
    v.partnerCity = "上海 ";
    UserProfile p;
    MatchRequirement r;
    FillRecords(v, p, r);
    EXPECT_EQ(Text(r.topic), Gbk("股市沙龙"));
    EXPECT_EQ(r.sex, SEX_ANY);
    EXPECT_EQ(r.maxAge, 120u);
    EXPECT_EQ(Text(r.city), "");
    EXPECT_EQ(v.partnerCity, "上海 "); // untouched when no requirement is filled from it
}

TEST(Records, OwnTextsKeepTrailingBlanksAndLongIntroIsCut) {
    ConditionValues v;
    v.ownSexIndex = 1;
    v.nickname = "小明  ";
    v.intro.clear();
    for (int i = 0; i < 64; ++i)
        v.intro += "好"; // 128 bytes, the most the dialog takes
    UserProfile p;
    MatchRequirement r;
    FillRecords(v, p, r);
    EXPECT_EQ(p.sex, SEX_FEMALE);
    EXPECT_EQ(Text(p.nickname), Gbk("小明  "));
    EXPECT_EQ(FieldText(p.intro).size(), 62u);
    EXPECT_EQ(DecodeGbk(FieldText(p.intro)), std::string(v.intro, 0, 31 * 3));
    EXPECT_EQ(p.intro[63], 0);
}

TEST(Records, SerialisationIsLittleEndianAtTheFieldOffsets) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, "nick");
    p.sex = SEX_FEMALE;
    p.age = 0x01020304;
    CopyToField(p.intro, "hi");
    uint8_t raw[kUserProfileSize];
    StoreProfile(raw, p);
    EXPECT_EQ(std::memcmp(raw + 64, "nick\0", 5), 0);
    EXPECT_EQ(raw[128], 2);
    EXPECT_EQ(raw[132], 0x04);
    EXPECT_EQ(raw[135], 0x01);
    EXPECT_EQ(std::memcmp(raw + 328, "hi\0", 3), 0);
    UserProfile back = LoadProfile(raw);
    EXPECT_EQ(std::memcmp(&back, &p, sizeof p), 0);

    MatchRequirement r = EmptyRequirement();
    CopyToField(r.topic, "t");
    r.sex = SEX_MALE;
    r.minAge = 18;
    r.maxAge = 0xAABBCCDD;
    CopyToField(r.district, "d");
    uint8_t rawReq[kMatchRequirementSize];
    StoreRequirement(rawReq, r);
    EXPECT_EQ(rawReq[64], 1);
    EXPECT_EQ(rawReq[68], 18);
    EXPECT_EQ(rawReq[72], 0xDD);
    EXPECT_EQ(rawReq[75], 0xAA);
    EXPECT_EQ(rawReq[140], 'd');
    MatchRequirement backReq = LoadRequirement(rawReq);
    EXPECT_EQ(std::memcmp(&backReq, &r, sizeof r), 0);
}

} // namespace
