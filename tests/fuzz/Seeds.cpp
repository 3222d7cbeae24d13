#include "Seeds.h"

#include "ClientStates.h"
#include "Codec.h"
#include "Messages.h"

#include <span>

namespace vessaro::fuzz {
namespace {

// The ids the client harness gives its engine (see EngineHarness).
constexpr int32_t kSession = 0x51;
constexpr int32_t kConversation = 0x7C01;

void Append(Input& input, std::span<const uint8_t> bytes) {
    input.insert(input.end(), bytes.begin(), bytes.end());
}

void AppendU16(Input& input, std::size_t value) {
    input.push_back(uint8_t(value & 0xFF));
    input.push_back(uint8_t(value >> 8));
}

// One step that hands a datagram over: op, length, bytes.
template <std::size_t N>
void AppendDatagram(Input& input, uint8_t op, const DatagramBytes<N>& message) {
    input.push_back(op);
    AppendU16(input, N);
    Append(input, message);
}

UserProfile Profile(const char* utf8Nickname, int32_t sex, int32_t age) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, EncodeGbkOrEmpty(utf8Nickname));
    CopyToField(p.city, EncodeGbkOrEmpty("广州"));
    p.sex = sex;
    p.age = age;
    return p;
}

MatchRequirement Wanting(int32_t sex) {
    MatchRequirement r = EmptyRequirement();
    r.sex = sex;
    r.maxAge = 120;
    return r;
}

std::vector<Input> ClientSeeds() {
    std::vector<Input> seeds;
    auto partner = Profile("小红", SEX_FEMALE, 25);
    for (uint8_t state = 0; state <= CLIENT_STATE_DISCONNECT_SENT; ++state) {
        // Every message the server may send, one per seed, then a few seconds of silence.
        std::vector<Input> messages;
        auto add = [&](auto message) { messages.emplace_back(message.begin(), message.end()); };
        add(BuildConnectAck(kSession, 1));
        add(BuildConnectAck(kSession, 0));
        add(BuildNotice(kSession, "http://127.0.0.1:8080/match/adv.html", 7));
        add(BuildPartnerFound(kSession, kConversation, partner));
        add(BuildTalkText(kSession, kConversation, 5, MakeTalkText(EncodeGbkOrEmpty("你好"))));
        add(BuildTalkAck(kSession, kConversation, 1001, 0));
        const uint8_t block[] = {1, 2, 3, 4};
        add(BuildTalkData(kSession, kConversation, block));
        for (int32_t type : {MSG_DISCONNECT_ACK, MSG_SESSION_CLOSED, MSG_MATCH_REQUEST_ACK,
                             MSG_MATCH_CANCEL_ACK, MSG_REFUSE_ACK, MSG_ACCEPT_ACK, MSG_TALK_START,
                             MSG_HANGUP_ACK, MSG_PEER_HANGUP, MSG_TALK_PROBE})
            add(BuildControl(type, kSession, kConversation));
        for (const auto& message : messages) {
            Input seed{state, 1};
            AppendU16(seed, message.size());
            Append(seed, message);
            seed.insert(seed.end(), {2, 4});
            seeds.push_back(std::move(seed));
        }
    }
    // A conversation: texts in and out of order, repeated, acknowledged, then a hang-up.
    Input talk{CLIENT_STATE_TALKING};
    for (uint32_t sequence : {10u, 11u, 10u, 12u, 0xFFFFFFFFu, 13u})
        AppendDatagram(talk, 1,
                       BuildTalkText(kSession, kConversation, sequence, MakeTalkText("line")));
    AppendDatagram(talk, 1, BuildControl(MSG_PEER_HANGUP, kSession, kConversation));
    seeds.push_back(std::move(talk));
    return seeds;
}

// Server harness steps: op bits 0-1 kind (3: well-formed message, 2: raw bytes with ids), bits
// 2-3 the sender, bits 4-5 whose ids.
uint8_t Op(uint8_t kind, uint8_t sender, uint8_t idsOf = 0) {
    return uint8_t(kind | sender << 2 | idsOf << 4);
}

std::vector<Input> ServerSeeds() {
    std::vector<Input> seeds;
    // Two users connect, ask for each other, accept, talk and hang up.
    Input chat;
    for (uint8_t sender : {0, 2})
        chat.insert(chat.end(), {Op(3, sender), 0});
    AppendDatagram(chat, Op(2, 0, 0),
                   BuildMatchRequest(0, Profile("小明", SEX_MALE, 30), Wanting(SEX_FEMALE)));
    AppendDatagram(chat, Op(2, 2, 2),
                   BuildMatchRequest(0, Profile("小红", SEX_FEMALE, 25), Wanting(SEX_MALE)));
    for (uint8_t sender : {0, 2})
        chat.insert(chat.end(), {Op(3, sender), 4}); // partner found acknowledged
    for (uint8_t sender : {0, 2})
        chat.insert(chat.end(), {Op(3, sender), 6}); // accept
    for (uint8_t sender : {0, 2})
        chat.insert(chat.end(), {Op(3, sender), 7}); // talk start acknowledged
    chat.insert(chat.end(), {Op(3, 0), 12, 1, 0});   // a text
    chat.insert(chat.end(), {Op(3, 2), 12, 1, 0});   // and the other way
    chat.insert(chat.end(), {0, 0x10, 0x27});        // forty seconds pass
    chat.insert(chat.end(), {Op(3, 0), 8, Op(3, 2), 9, Op(3, 0), 1});
    seeds.push_back(chat);

    // Someone else uses the ids of a session from another address.
    Input spoof;
    spoof.insert(spoof.end(), {Op(3, 0), 0});
    AppendDatagram(spoof, Op(2, 3, 0), BuildControl(MSG_DISCONNECT));
    AppendDatagram(spoof, Op(2, 1, 0), BuildControl(MSG_HANGUP));
    seeds.push_back(spoof);

    // Garbage and a flood of connects.
    Input flood;
    for (int i = 0; i < 40; ++i)
        flood.insert(flood.end(), {Op(3, uint8_t(i % 4)), 0});
    flood.insert(flood.end(), {Op(1, 1), 3, 0, 0xAA, 0xBB, 0xCC});
    seeds.push_back(flood);
    return seeds;
}

Input Text(std::string_view text) {
    return Input(text.begin(), text.end());
}

std::vector<Input> TextSeeds() {
    return {Text("<script>alert('x')</script>"),
            Text("<img src=x onerror=alert(1)>"),
            Text("see http://example.org/a?b=\"1\"&c='2' now"),
            Text("javascript:alert(document.cookie)"),
            Text("line one\r\nhttp://x.y/z\r\nline three"),
            Text("http://a\thref=x onmouseover=alert(1)"),
            Text(EncodeGbkOrEmpty("你好，http://例子.中国/路径 再见")),
            Text("\x81\x30\x81\x30\xFE\xFF\x80<\x81"),
            Text("")};
}

std::vector<Input> CodecSeeds() {
    std::vector<Input> seeds = TextSeeds();
    seeds.push_back(Text("小明 😀 ÄÖÜ"));
    seeds.push_back(Text(EncodeGbkOrEmpty("小明 😀 ÄÖÜ")));
    seeds.push_back(Text("\xC3\x28\xE2\x82\xED\xA0\x80"));
    return seeds;
}

} // namespace

std::vector<std::string> FuzzTargets() {
    return {"client_dispatch", "server_core", "transcript", "codec"};
}

std::vector<Input> SeedsFor(const std::string& target) {
    if (target == "client_dispatch")
        return ClientSeeds();
    if (target == "server_core")
        return ServerSeeds();
    if (target == "transcript")
        return TextSeeds();
    if (target == "codec")
        return CodecSeeds();
    return {};
}

} // namespace vessaro::fuzz
