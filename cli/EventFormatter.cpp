#include "EventFormatter.h"

#include "Codec.h"
#include "ConditionValues.h"
#include "TerminalText.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <span>
#include <vector>

namespace vessaro::cli {
namespace {

using nlohmann::json;

std::string Utf8(std::span<const char> field) {
    return DecodeGbk(FieldText(field));
}

// A received field as one safe line for the terminal.
std::string Shown(std::span<const char> field) {
    return TerminalSafe(Utf8(field));
}

json ProfileJson(const UserProfile& p) {
    return {{"communityId", Utf8(p.communityId)},
            {"nickname", Utf8(p.nickname)},
            {"sex", SexWord(p.sex)},
            {"age", p.age},
            {"occupation", Utf8(p.occupation)},
            {"city", Utf8(p.city)},
            {"district", Utf8(p.district)},
            {"intro", Utf8(p.intro)}};
}

// The partner's profile as the chat window shows it, one field a line, indented under the event's
// line; no field can add a line of its own.
std::string ProfileLines(const UserProfile& p) {
    return "  昵称：" + Shown(p.nickname) + "\n  性别：" + (p.sex == SEX_MALE ? "男" : "女") +
           "\n  年龄：" + std::to_string(p.age) + "\n  职业：" + Shown(p.occupation) +
           "\n  位置：" + Shown(p.city) + "市" + Shown(p.district) + "区" + "\n  简介：" +
           Shown(p.intro);
}

// A partner's text: the label on the first line, and a marked label on every line after it, so
// that a line break inside the text cannot start a line that looks like anybody else's.
std::string PartnerText(std::string_view utf8) {
    std::vector<std::string> lines = TerminalLines(utf8);
    std::string out = "对方：" + lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i)
        out += "\n对方| " + lines[i];
    return out;
}

const char* EventName(int32_t code) {
    switch (code) {
    case EVT_CONNECTED:
        return "connected";
    case EVT_CONNECT_FAILED:
        return "connect_failed";
    case EVT_DISCONNECTED:
        return "disconnected";
    case EVT_NOTICE:
        return "notice";
    case EVT_MATCH_FAILED:
        return "match_failed";
    case EVT_MATCHING:
        return "matching";
    case EVT_MATCH_CANCELLED:
        return "match_cancelled";
    case EVT_PARTNER_FOUND:
        return "partner_found";
    case EVT_ACCEPTED:
        return "accepted";
    case EVT_TALK_STARTED:
        return "talk_started";
    case EVT_TALK_TEXT:
        return "talk_text";
    case EVT_TALK_DATA:
        return "talk_data";
    case EVT_TALK_ENDED:
        return "talk_ended";
    case EVT_SERVER_LOST:
        return "server_lost";
    default:
        return nullptr;
    }
}

json EventJson(int32_t code, const EventBlock& block) {
    json j = {{"event", EventName(code)}};
    switch (code) {
    case EVT_NOTICE: {
        NoticeBlock notice = ReadNoticeBlock(block);
        j["value"] = notice.value;
        j["text"] = DecodeGbk(notice.text);
        break;
    }
    case EVT_PARTNER_FOUND: {
        auto [partner, own] = ReadPartnerBlock(block);
        j["partner"] = ProfileJson(partner);
        j["me"] = ProfileJson(own);
        break;
    }
    case EVT_TALK_TEXT: {
        TalkText text = ReadTalkTextBlock(block);
        j["pack_type"] = text.packType;
        j["text"] = Utf8(text.text);
        break;
    }
    case EVT_TALK_DATA:
        j["length"] = ReadTalkDataBlock(block).size();
        break;
    default:
        break;
    }
    return j;
}

std::string HumanLine(int32_t code, const EventBlock& block) {
    switch (code) {
    case EVT_CONNECTED:
        return "已连接到服务器。输入 /match 寻找聊天对象，/help 查看命令。";
    case EVT_CONNECT_FAILED:
        return "连接服务器失败。";
    case EVT_DISCONNECTED:
        return "已断开与服务器的连接。";
    case EVT_NOTICE:
        return "通知：" + TerminalSafe(DecodeGbk(ReadNoticeBlock(block).text));
    case EVT_MATCH_FAILED:
        return "匹配请求没有回应，请稍后再试。";
    case EVT_MATCHING:
        return "正在寻找聊天对象……（/cancel 取消）";
    case EVT_MATCH_CANCELLED:
        return "已取消匹配。";
    case EVT_PARTNER_FOUND: {
        auto [partner, own] = ReadPartnerBlock(block);
        return "找到聊天对象：\n" + ProfileLines(partner) + "\n输入 /accept 接受，/refuse 拒绝。";
    }
    case EVT_ACCEPTED:
        return "已接受，等待对方……";
    case EVT_TALK_STARTED:
        return "对话开始。";
    case EVT_TALK_TEXT:
        return PartnerText(Utf8(ReadTalkTextBlock(block).text));
    case EVT_TALK_DATA:
        return "收到数据 " + std::to_string(ReadTalkDataBlock(block).size()) + " 字节。";
    case EVT_TALK_ENDED:
        return "对话结束。";
    case EVT_SERVER_LOST:
        return "服务器连接中断，对话结束。";
    default:
        return {};
    }
}

std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

const char* SexWord(int32_t sex) {
    switch (sex) {
    case SEX_MALE:
        return "male";
    case SEX_FEMALE:
        return "female";
    case SEX_ANY:
        return "any";
    default:
        return "unknown";
    }
}

std::string IsoUtc(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    int millis = static_cast<int>(ms % 1000);
    if (millis < 0) { // before 1970: the second below, and the milliseconds after it
        millis += 1000;
        --seconds;
    }
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", millis);
    return text;
}

std::string EventFormatter::Event(int32_t code, const EventBlock& block) const {
    if (!EventName(code))
        return {};
    if (!json_)
        return HumanLine(code, block);
    json j = EventJson(code, block);
    j["ts"] = IsoUtc(now_());
    return Dump(j);
}

std::string EventFormatter::Sent(std::string_view utf8Text, bool confirmed, uint32_t textId) const {
    if (json_) {
        json j = {{"event", confirmed ? "sent" : "send_failed"}, {"text", utf8Text}};
        if (textId != 0)
            j["id"] = textId;
        j["ts"] = IsoUtc(now_());
        return Dump(j);
    }
    // The user's own line, shown as one line whatever it holds.
    return (confirmed ? "我：" : "发送失败：") + TerminalSafe(utf8Text);
}

std::string EventFormatter::Reconnecting(int64_t inMs) const {
    if (json_)
        return Dump({{"event", "reconnecting"}, {"in_ms", inMs}, {"ts", IsoUtc(now_())}});
    return "将在 " + std::to_string((inMs + 999) / 1000) + " 秒后重新连接服务器……";
}

std::string EventFormatter::OwnProfile(const UserProfile& p, const MatchRequirement& r) const {
    std::string wanted = "不限";
    if (r.sex != SEX_ANY || r.minAge != kAnyMinAge || r.maxAge != kAnyMaxAge || r.city[0] ||
        r.district[0]) {
        wanted = std::string("性别 ") +
                 (r.sex == SEX_MALE     ? "男"
                  : r.sex == SEX_FEMALE ? "女"
                                        : "不限") +
                 "，年龄 " + std::to_string(r.minAge) + "-" + std::to_string(r.maxAge);
        if (r.city[0] || r.district[0])
            wanted += "，位置 " + Shown(r.city) + Shown(r.district);
    }
    return "将发送的资料：昵称 " + Shown(p.nickname) + "，性别 " +
           (p.sex == SEX_MALE ? "男" : "女") + "，年龄 " + std::to_string(p.age) + "，职业 " +
           Shown(p.occupation) + "，位置 " + Shown(p.city) + "市" + Shown(p.district) + "区" +
           "，简介 " + Shown(p.intro) + "，社区ID " + Shown(p.communityId) + "，话题 " +
           Shown(r.topic) + "；想找：" + wanted;
}

} // namespace vessaro::cli
