#include "RequirementSummary.h"

#include <gtest/gtest.h>

namespace vessaro {
namespace {

struct SummaryCase {
    const char* name;
    ConditionValues values;
    QString expected;
    bool locationAnyAfter;
};

ConditionValues Restricted() {
    ConditionValues v;
    v.noRestriction = false;
    v.sexAny = false;
    v.locationAny = false;
    return v;
}

ConditionValues With(ConditionValues v, auto change) {
    change(v);
    return v;
}

class RequirementSummaryTest : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(RequirementSummaryTest, ReadsAsTheDialogHoldsTheValues) {
    ConditionValues values = GetParam().values;
    EXPECT_EQ(RequirementSummary(values).toStdString(), GetParam().expected.toStdString());
    EXPECT_EQ(values.locationAny, GetParam().locationAnyAfter);
}

const SummaryCase kCases[] = {
    {"defaults", ConditionValues{},
     QStringLiteral(
         "聊天要求：\r\n\r\n话题：谈天说地\r\n性别：不限\r\n年龄：12 - 99岁\r\n位置：不限"),
     true},
    {"female_city_district",
     With(Restricted(),
          [](ConditionValues& v) {
              v.topic = "英语会话";
              v.minAge = 20;
              v.maxAge = 30;
              v.partnerCity = "广州";
              v.partnerDistrict = "天河";
          }),
     QStringLiteral(
         "聊天要求：\r\n\r\n话题：英语会话\r\n性别：女\r\n年龄：20 - 30岁\r\n位置：广州市 天河区"),
     false},
    {"male_city_only",
     With(Restricted(),
          [](ConditionValues& v) {
              v.partnerSexIndex = 0;
              v.partnerCity = "深圳";
          }),
     QStringLiteral(
         "聊天要求：\r\n\r\n话题：谈天说地\r\n性别：男\r\n年龄：12 - 99岁\r\n位置：深圳市"),
     false},
    {"district_without_city",
     With(Restricted(),
          [](ConditionValues& v) {
              v.partnerCity.clear();
              v.partnerDistrict = "南山";
          }),
     QStringLiteral(
         "聊天要求：\r\n\r\n话题：谈天说地\r\n性别：女\r\n年龄：12 - 99岁\r\n位置：市 南山区"),
     false},
    {"both_locations_empty_tick_the_box",
     With(Restricted(),
          [](ConditionValues& v) {
              v.partnerCity.clear();
              v.partnerDistrict.clear();
          }),
     QStringLiteral(
         "聊天要求：\r\n\r\n话题：谈天说地\r\n性别：女\r\n年龄：12 - 99岁\r\n位置：不限"),
     true},
    {"sex_any_and_bounds_reversed",
     With(Restricted(),
          [](ConditionValues& v) {
              v.sexAny = true;
              v.minAge = 30;
              v.maxAge = 20;
          }),
     QStringLiteral(
         "聊天要求：\r\n\r\n话题：谈天说地\r\n性别：不限\r\n年龄：30 - 20岁\r\n位置：深圳市"),
     false},
    {"no_restriction_shows_the_dialog_ages_not_0_to_120",
     With(ConditionValues{},
          [](ConditionValues& v) {
              v.sexAny = false;
              v.locationAny = false;
              v.minAge = 18;
              v.maxAge = 40;
              v.topic = "<b>话题</b> %1";
          }),
     QStringLiteral(
         "聊天要求：\r\n\r\n话题：<b>话题</b> %1\r\n性别：不限\r\n年龄：18 - 40岁\r\n位置：不限"),
     false},
};

INSTANTIATE_TEST_SUITE_P(Cases, RequirementSummaryTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vessaro
