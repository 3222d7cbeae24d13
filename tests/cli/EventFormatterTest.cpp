#include "EventFormatter.h"
#include "Codec.h"
#include "Messages.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>

using namespace vessaro;
using namespace vessaro::cli;
using nlohmann::json;

namespace {

std::string Gbk(std::string_view utf8) {
    return EncodeGbk(utf8).value();
}

// 2024-05-01T08:30:00.125Z
const std::chrono::system_clock::time_point kAt{std::chrono::milliseconds(1714552200125)};
const char* const kTs = "\"ts\":\"2024-05-01T08:30:00.125Z\"";

EventFormatter JsonAt() {
    return EventFormatter(true, [] { return kAt; });
}

EventBlock NoticeBlockOf(int32_t value, std::string_view gbk) {
    EventBlock block(kNoticeBlockSize, 0);
    std::memcpy(block.data(), &value, 4);
    std::memcpy(block.data() + 4, gbk.data(), gbk.size());
    return block;
}

TEST(EventFormatter, JsonLinesForSimpleEventsCarryTheirTime) {
    EventFormatter f = JsonAt();
    const std::pair<int32_t, const char*> cases[] = {
        {EVT_CONNECTED, "connected"},       {EVT_CONNECT_FAILED, "connect_failed"},
        {EVT_DISCONNECTED, "disconnected"}, {EVT_MATCH_FAILED, "match_failed"},
        {EVT_MATCHING, "matching"},         {EVT_MATCH_CANCELLED, "match_cancelled"},
        {EVT_ACCEPTED, "accepted"},         {EVT_TALK_STARTED, "talk_started"},
        {EVT_TALK_ENDED, "talk_ended"},     {EVT_SERVER_LOST, "server_lost"}};
    for (auto [code, name] : cases)
        EXPECT_EQ(f.Event(code, {}), std::string("{\"event\":\"") + name + "\"," + kTs + "}");
    EXPECT_EQ(f.Event(10, {}), "");
    EXPECT_EQ(f.Event(99, {}), "");
}

TEST(EventFormatter, NoticeAndTextsComeOutAsUtf8) {
    EventFormatter f(true);
    json notice = json::parse(f.Event(EVT_NOTICE, NoticeBlockOf(7, Gbk("http://x/新"))));
    EXPECT_EQ(notice["value"], 7);
    EXPECT_EQ(notice["text"], "http://x/新");

    TalkText t = MakeTalkText(Gbk("你好 \"quoted\"\n"), 3);
    EventBlock block(kTalkBlockSize);
    std::memcpy(block.data(), &t, sizeof t);
    json text = json::parse(f.Event(EVT_TALK_TEXT, block));
    EXPECT_EQ(text["event"], "talk_text");
    EXPECT_EQ(text["pack_type"], 3);
    EXPECT_EQ(text["text"], "你好 \"quoted\"\n");

    EventBlock data(kTalkBlockSize, 0);
    int32_t length = 9;
    std::memcpy(data.data(), &length, 4);
    EXPECT_EQ(json::parse(f.Event(EVT_TALK_DATA, data))["length"], 9);
}

TEST(EventFormatter, PartnerFoundCarriesBothProfiles) {
    UserProfile partner = EmptyProfile();
    CopyToField(partner.nickname, Gbk("小红"));
    CopyToField(partner.communityId, "77");
    partner.sex = SEX_FEMALE;
    partner.age = 28;
    UserProfile own = EmptyProfile();
    CopyToField(own.nickname, Gbk("未名"));
    own.sex = SEX_MALE;
    EventBlock block(kPartnerBlockSize);
    StoreProfile(block.data(), partner);
    StoreProfile(block.data() + kUserProfileSize, own);

    json j = json::parse(EventFormatter(true).Event(EVT_PARTNER_FOUND, block));
    EXPECT_EQ(j["partner"]["nickname"], "小红");
    EXPECT_EQ(j["partner"]["communityId"], "77");
    EXPECT_EQ(j["partner"]["sex"], "female");
    EXPECT_EQ(j["me"]["sex"], "male");
    EXPECT_EQ(j["partner"]["age"], 28);
    EXPECT_EQ(j["me"]["nickname"], "未名");
    for (const char* key : {"occupation", "city", "district", "intro"})
        EXPECT_TRUE(j["me"].contains(key)) << key;

    std::string human = EventFormatter(false).Event(EVT_PARTNER_FOUND, block);
    EXPECT_NE(human.find("昵称：小红\n  性别：女"), std::string::npos) << human;
}

TEST(EventFormatter, BadTextNeverBreaksTheJson) {
    TalkText t = MakeTalkText("\xFF\xFE\x01", 0);
    EventBlock block(kTalkBlockSize);
    std::memcpy(block.data(), &t, sizeof t);
    std::string line = EventFormatter(true).Event(EVT_TALK_TEXT, block);
    EXPECT_NO_THROW(json::parse(line)) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(json::parse(EventFormatter(true).Event(EVT_TALK_TEXT, {}))["text"], "");
}

TEST(EventFormatter, SendResultsAndReconnecting) {
    EventFormatter f = JsonAt();
    EXPECT_EQ(f.Sent("你好", true),
              std::string("{\"event\":\"sent\",\"text\":\"你好\",") + kTs + "}");
    EXPECT_EQ(f.Sent("x", false),
              std::string("{\"event\":\"send_failed\",\"text\":\"x\",") + kTs + "}");
    EXPECT_EQ(f.Sent("x", false, 7),
              std::string("{\"event\":\"send_failed\",\"id\":7,\"text\":\"x\",") + kTs + "}");
    EXPECT_EQ(f.Reconnecting(2000),
              std::string("{\"event\":\"reconnecting\",\"in_ms\":2000,") + kTs + "}");
    EXPECT_EQ(EventFormatter(false).Event(EVT_SERVER_LOST, {}), "服务器连接中断，对话结束。");
}

TEST(EventFormatter, WordsForSexAndUtcTimes) {
    EXPECT_STREQ(SexWord(SEX_ANY), "any");
    EXPECT_STREQ(SexWord(7), "unknown");
    using std::chrono::milliseconds;
    using TimePoint = std::chrono::system_clock::time_point;
    EXPECT_EQ(IsoUtc(TimePoint(milliseconds(0))), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(IsoUtc(TimePoint(milliseconds(951782400999))), "2000-02-29T00:00:00.999Z");
    EXPECT_EQ(IsoUtc(TimePoint(milliseconds(-1))), "1969-12-31T23:59:59.999Z");
}

// The start line shows every field a match request sends, on one line.
TEST(EventFormatter, OwnProfileIsOneLineWithEveryField) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, Gbk("小明\n"));
    CopyToField(p.communityId, "c42");
    p.age = 30;
    MatchRequirement r = EmptyRequirement();
    CopyToField(r.topic, Gbk("英语"));
    r.sex = SEX_FEMALE;
    r.minAge = 20;
    r.maxAge = 35;
    std::string line = EventFormatter(false).OwnProfile(p, r);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    for (const char* part :
         {"昵称 小明\\x0a", "年龄 30", "社区ID c42", "话题 英语", "想找：性别 女，年龄 20-35"})
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
}

} // namespace
