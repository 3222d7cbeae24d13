#include "CliOptions.h"
#include "BuildConfig.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vessaro;
using namespace vessaro::cli;

namespace {

std::variant<CliOptions, CliExit> Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "vessaro-cli");
    return ParseCliOptions(int(args.size()), args.data());
}

CliOptions Ok(std::vector<const char*> args) {
    auto result = Parse(std::move(args));
    if (auto* exit = std::get_if<CliExit>(&result))
        ADD_FAILURE() << "refused: " << exit->message;
    return std::get_if<CliOptions>(&result) ? std::get<CliOptions>(result) : CliOptions{};
}

TEST(CliOptions, DefaultsAreTheDialogDefaults) {
    CliOptions o = Ok({});
    EXPECT_EQ(o.port, 13366);
    EXPECT_FALSE(o.server.empty());
    EXPECT_EQ(o.values.nickname, "未名");
    EXPECT_EQ(o.values.age, 24u);
    EXPECT_TRUE(o.values.noRestriction);
    EXPECT_TRUE(o.values.sexAny);
    EXPECT_TRUE(o.values.locationAny);
    EXPECT_FALSE(o.autoMatch || o.autoAccept || o.json || o.reconnect || o.verbose);
}

// Reconnecting is on with --reconnect, and always with --auto-match, which would otherwise stop
// for good at the first lost session.
TEST(CliOptions, ReconnectAndVerbose) {
    EXPECT_TRUE(Ok({"--reconnect"}).reconnect);
    EXPECT_TRUE(Ok({"--auto-match"}).reconnect);
    EXPECT_FALSE(Ok({"--auto-accept"}).reconnect);
    EXPECT_TRUE(Ok({"--verbose"}).verbose);
}

TEST(CliOptions, OwnProfileAndFlags) {
    CliOptions o = Ok({"--server",     "example.org",    "--port",     "9000",    "--nickname",
                       "小红",         "--sex",          "female",     "--age",   "31",
                       "--city",       "北京",           "--district", "海淀",    "--intro",
                       "你好",         "--community-id", "42",         "--topic", "英语会话",
                       "--auto-match", "--auto-accept",  "--json"});
    EXPECT_EQ(o.server, "example.org");
    EXPECT_EQ(o.port, 9000);
    EXPECT_EQ(o.values.nickname, "小红");
    EXPECT_EQ(o.values.ownSexIndex, 1);
    EXPECT_EQ(o.values.age, 31u);
    EXPECT_EQ(o.values.district, "海淀");
    EXPECT_EQ(o.values.communityId, "42");
    EXPECT_EQ(o.values.topic, "英语会话");
    EXPECT_TRUE(o.autoMatch && o.autoAccept && o.json);
    EXPECT_TRUE(o.values.noRestriction); // no partner option given
}

TEST(CliOptions, PartnerOptionsWorkLikeTheDialogBoxes) {
    CliOptions anySex = Ok({"--want-sex", "any"});
    EXPECT_FALSE(anySex.values.noRestriction);
    EXPECT_TRUE(anySex.values.sexAny);
    EXPECT_TRUE(anySex.values.locationAny);

    CliOptions male = Ok({"--want-sex", "male"});
    EXPECT_FALSE(male.values.sexAny);
    EXPECT_EQ(male.values.partnerSexIndex, 0);

    CliOptions ages = Ok({"--min-age", "30", "--max-age", "20"});
    EXPECT_FALSE(ages.values.noRestriction);
    EXPECT_EQ(ages.values.minAge, 30u);
    EXPECT_EQ(ages.values.maxAge, 20u);
    EXPECT_TRUE(ages.values.sexAny);

    CliOptions place = Ok({"--want-district", "南山"});
    EXPECT_FALSE(place.values.locationAny);
    EXPECT_EQ(place.values.partnerCity, "深圳"); // the dialog's default stays
    EXPECT_EQ(place.values.partnerDistrict, "南山");

    UserProfile p;
    MatchRequirement r;
    FillRecords(place.values, p, r);
    EXPECT_EQ(r.sex, SEX_ANY);
    EXPECT_EQ(r.minAge, 12u);
    EXPECT_EQ(r.maxAge, 99u);
}

TEST(CliOptions, BadValuesAreRefusedWithExitCodeTwo) {
    std::string longName(33, 'a');
    std::string seventeenBytes = "一二三四五六七八a"; // 17 GBK bytes
    const std::vector<std::vector<const char*>> bad = {
        {"--age", "11"},
        {"--age", "100"},
        {"--age", "abc"},
        {"--min-age", "5"},
        {"--max-age", "120"},
        {"--sex", "other"},
        {"--want-sex", "both"},
        {"--nickname", longName.c_str()},
        {"--topic", seventeenBytes.c_str()},
        {"--nickname", "\xC3\x28"},
        {"--port", "70000"},
        {"--port", "0"},
        {"--any", "--want-sex", "male"},
        {"--no-such-option"},
        {"--age"},
    };
    for (const auto& args : bad) {
        auto result = Parse(args);
        auto* exit = std::get_if<CliExit>(&result);
        ASSERT_NE(exit, nullptr) << args[0];
        EXPECT_EQ(exit->code, 2) << args[0];
        EXPECT_NE(exit->message.find("vessaro-cli"), std::string::npos) << exit->message;
    }
}

TEST(CliOptions, LimitsCountGbkBytes) {
    std::string sixteenChinese;
    for (int i = 0; i < 16; ++i)
        sixteenChinese += "名";
    EXPECT_EQ(Ok({"--nickname", sixteenChinese.c_str()}).values.nickname, sixteenChinese);
    std::string seventeen = sixteenChinese + "名";
    EXPECT_EQ(std::get<CliExit>(Parse({"--nickname", seventeen.c_str()})).code, 2);
    EXPECT_EQ(Ok({"--age", "12"}).values.age, 12u);
    EXPECT_EQ(Ok({"--age", "99"}).values.age, 99u);
}

TEST(CliOptions, HelpAndVersionExitWithZero) {
    auto result = Parse({"--help"});
    auto* exit = std::get_if<CliExit>(&result);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->code, 0);
    EXPECT_NE(exit->message.find("--want-sex"), std::string::npos);
    EXPECT_NE(exit->message.find("--version"), std::string::npos);

    result = Parse({"--nickname", "x", "--version"});
    exit = std::get_if<CliExit>(&result);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->code, 0);
    EXPECT_EQ(exit->message, VersionLine("vessaro-cli"));
    EXPECT_EQ(exit->message.rfind("vessaro-cli " VESSARO_VERSION, 0), 0u);
}

} // namespace
