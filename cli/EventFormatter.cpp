#include "EventFormatter.h"

#include "Codec.h"
#include "Records.h"

#include <nlohmann/json.hpp>

namespace vessaro::cli {
namespace {

using nlohmann::json;

std::string Utf8(std::span<const char> field) {
    return DecodeGbk(FieldText(field));
}

json ProfileJson(const UserProfile& p) {
    return {{"communityId", Utf8(p.communityId)},
            {"nickname", Utf8(p.nickname)},
            {"sex", p.sex},
            {"age", p.age},
            {"occupation", Utf8(p.occupation)},
            {"city", Utf8(p.city)},
            {"district", Utf8(p.district)},
            {"intro", Utf8(p.intro)}};
}

std::string ProfileLines(const UserProfile& p) {
    std::string text = DecodeGbk(FormatProfileText(p));
    std::string out;
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
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
    default:
        return nullptr;
    }
}

std::string JsonLine(int32_t code, const EventBlock& block) {
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
    return Dump(j);
}

std::string HumanLine(int32_t code, const EventBlock& block) {
    switch (code) {
    case EVT_CONNECTED:
        return "已连接到服务器。输入 /match 寻找聊天对象。";
    case EVT_CONNECT_FAILED:
        return "连接服务器失败。";
    case EVT_DISCONNECTED:
        return "已断开与服务器的连接。";
    case EVT_NOTICE:
        return "通知：" + DecodeGbk(ReadNoticeBlock(block).text);
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
        return "对方：" + Utf8(ReadTalkTextBlock(block).text);
    case EVT_TALK_DATA:
        return "收到数据 " + std::to_string(ReadTalkDataBlock(block).size()) + " 字节。";
    case EVT_TALK_ENDED:
        return "对话结束。";
    default:
        return {};
    }
}

} // namespace

std::string EventFormatter::Event(int32_t code, const EventBlock& block) const {
    if (!EventName(code))
        return {};
    return json_ ? JsonLine(code, block) : HumanLine(code, block);
}

std::string EventFormatter::Sent(std::string_view utf8Text, bool confirmed) const {
    if (json_)
        return Dump({{"event", confirmed ? "sent" : "send_failed"}, {"text", utf8Text}});
    return (confirmed ? "我：" : "发送失败：") + std::string(utf8Text);
}

} // namespace vessaro::cli
