#include "ChildProcess.h"
#include "CliEvents.h"
#include "Codec.h"
#include "FakeServer.h"
#include "Messages.h"
#include "TranscriptPage.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace vessaro;
using namespace vessaro::test;
using nlohmann::json;

namespace {

constexpr int32_t kSession = 0x5EED;
constexpr int32_t kConversation = 77;

std::string Gbk(std::string_view utf8) {
    return EncodeGbk(utf8).value();
}

// vessaro-cli as a person would run it, against a UDP socket on 127.0.0.1 that plays the server.
TEST(CliProcess, ConnectMatchAcceptChatHangUpSaveAndQuit) {
    FakeServer server;
    ChildProcess cli(VESSARO_CLI_PATH,
                     {"--server", "127.0.0.1", "--port", std::to_string(server.port()), "--json",
                      "--nickname", "小明", "--age", "30", "--want-sex", "female", "--min-age",
                      "20", "--max-age", "35", "--topic", "英语会话"},
                     false);

    ASSERT_TRUE(server.Expect(MSG_CONNECT));
    server.Send(BuildConnectAck(kSession, 1));
    ExpectEvent(cli, "connected");

    cli.WriteLine("/match");
    auto request = server.Expect(MSG_MATCH_REQUEST);
    ASSERT_TRUE(request);
    DatagramView view(request->data(), request->size());
    EXPECT_EQ(view.sessionId(), kSession);
    UserProfile own = view.requestProfile();
    MatchRequirement wanted = view.requestRequirement();
    EXPECT_EQ(FieldText(own.nickname), Gbk("小明"));
    EXPECT_EQ(own.age, 30u);
    EXPECT_EQ(wanted.sex, SEX_FEMALE);
    EXPECT_EQ(wanted.minAge, 20u);
    EXPECT_EQ(wanted.maxAge, 35u);
    EXPECT_EQ(FieldText(wanted.topic), Gbk("英语会话"));
    server.Send(BuildControl(MSG_MATCH_REQUEST_ACK, kSession));
    ExpectEvent(cli, "matching");

    UserProfile partner = EmptyProfile();
    CopyToField(partner.nickname, Gbk("小红"));
    partner.sex = SEX_FEMALE;
    partner.age = 28;
    server.Send(BuildPartnerFound(kSession, kConversation, partner));
    ASSERT_TRUE(server.Expect(MSG_PARTNER_FOUND_ACK));
    json found = ExpectEvent(cli, "partner_found");
    EXPECT_EQ(found["partner"]["nickname"], "小红");
    EXPECT_EQ(found["me"]["nickname"], "小明");

    cli.WriteLine("/accept");
    auto accept = server.Expect(MSG_ACCEPT);
    ASSERT_TRUE(accept);
    EXPECT_EQ(DatagramView(accept->data(), accept->size()).conversationId(), kConversation);
    server.Send(BuildControl(MSG_ACCEPT_ACK, kSession, kConversation));
    ExpectEvent(cli, "accepted");
    server.Send(BuildControl(MSG_TALK_START, kSession, kConversation));
    ASSERT_TRUE(server.Expect(MSG_TALK_START_ACK));
    ExpectEvent(cli, "talk_started");

    server.Send(BuildTalkText(kSession, kConversation, 1000, MakeTalkText(Gbk("你好！"))));
    auto ack = server.Expect(MSG_TALK_TEXT);
    ASSERT_TRUE(ack);
    EXPECT_EQ(DatagramView(ack->data(), ack->size()).talkSubKind(), TALK_ACK);
    EXPECT_EQ(DatagramView(ack->data(), ack->size()).talkSequence(), 1000u);
    EXPECT_EQ(ExpectEvent(cli, "talk_text")["text"], "你好！");

    cli.WriteLine("很高兴认识你");
    auto text = server.Expect(MSG_TALK_TEXT);
    ASSERT_TRUE(text);
    DatagramView sent(text->data(), text->size());
    EXPECT_EQ(sent.talkSubKind(), TALK_TEXT);
    EXPECT_EQ(FieldText(sent.talkText().text), Gbk("很高兴认识你"));
    server.Send(BuildTalkAck(kSession, kConversation, sent.talkSequence(), 0));
    json confirmed = ExpectEvent(cli, "sent");
    EXPECT_EQ(confirmed["text"], "很高兴认识你");
    ASSERT_TRUE(confirmed["id"].is_number_unsigned());

    // A line still unanswered when the conversation ends is reported failed, with its own id.
    cli.WriteLine("还在吗");
    ASSERT_TRUE(server.Expect(MSG_TALK_TEXT));
    cli.WriteLine("/hangup");
    ASSERT_TRUE(server.Expect(MSG_HANGUP));
    server.Send(BuildControl(MSG_HANGUP_ACK, kSession, kConversation));
    json failed = ExpectEvent(cli, "send_failed");
    EXPECT_EQ(failed["text"], "还在吗");
    EXPECT_GT(failed["id"].get<uint32_t>(), confirmed["id"].get<uint32_t>());
    ExpectEvent(cli, "talk_ended");

    auto saved = std::filesystem::temp_directory_path() /
                 ("vessaro-cli-" + std::to_string(getpid()) + ".html");
    cli.WriteLine("/save " + saved.string());
    cli.WriteLine("/quit");
    ASSERT_TRUE(server.Expect(MSG_DISCONNECT));
    server.Send(BuildControl(MSG_DISCONNECT_ACK, kSession));
    EXPECT_EQ(cli.Wait(), 0);

    std::ifstream in(saved, std::ios::binary);
    std::string page((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(saved);
    EXPECT_EQ(page.rfind(std::string(PageStart()), 0), 0u);
    EXPECT_NE(page.find(Gbk("小红") + "&nbsp"), std::string::npos);
    EXPECT_NE(page.find(Gbk("你好！")), std::string::npos);
    EXPECT_NE(page.find("color=Green>" + Gbk("小明")), std::string::npos);
    EXPECT_NE(page.find(Gbk("很高兴认识你")), std::string::npos);
    EXPECT_NE(
        page.find(Gbk("（未送达）") + "</font></font><p><font size=3>&nbsp;&nbsp;" + Gbk("还在吗")),
        std::string::npos);
}

TEST(CliProcess, EndOfInputWhileConnectingLeavesAtOnce) {
    FakeServer server;
    ChildProcess cli(VESSARO_CLI_PATH,
                     {"--server", "127.0.0.1", "--port", std::to_string(server.port()), "--json"},
                     false);
    ASSERT_TRUE(server.Expect(MSG_CONNECT));
    cli.CloseInput();
    ExpectEvent(cli, "disconnected");
    EXPECT_EQ(cli.Wait(), 0);
}

TEST(CliProcess, QuitDuringAConversationHangsUpFirst) {
    FakeServer server;
    ChildProcess cli(VESSARO_CLI_PATH,
                     {"--server", "127.0.0.1", "--port", std::to_string(server.port()), "--json",
                      "--auto-match", "--auto-accept"},
                     false);
    ASSERT_TRUE(server.Expect(MSG_CONNECT));
    server.Send(BuildConnectAck(kSession, 1));
    ASSERT_TRUE(server.Expect(MSG_MATCH_REQUEST)); // asked for a partner by itself
    server.Send(BuildControl(MSG_MATCH_REQUEST_ACK, kSession));
    server.Send(BuildPartnerFound(kSession, kConversation, EmptyProfile()));
    ASSERT_TRUE(server.Expect(MSG_ACCEPT)); // and accepted by itself
    server.Send(BuildControl(MSG_ACCEPT_ACK, kSession, kConversation));
    server.Send(BuildControl(MSG_TALK_START, kSession, kConversation));
    ExpectEvent(cli, "talk_started");

    cli.Signal(SIGTERM);
    ASSERT_TRUE(server.Expect(MSG_HANGUP));
    server.Send(BuildControl(MSG_HANGUP_ACK, kSession, kConversation));
    ASSERT_TRUE(server.Expect(MSG_DISCONNECT));
    server.Send(BuildControl(MSG_DISCONNECT_ACK, kSession));
    EXPECT_EQ(cli.Wait(), 0);
}

TEST(CliProcess, LostServerEndsWithExitCodeOne) {
    FakeServer server;
    ChildProcess cli(VESSARO_CLI_PATH,
                     {"--server", "127.0.0.1", "--port", std::to_string(server.port()), "--json"},
                     false);
    ASSERT_TRUE(server.Expect(MSG_CONNECT));
    server.Send(BuildConnectAck(kSession, 1));
    ExpectEvent(cli, "connected");
    server.Send(BuildControl(MSG_SESSION_CLOSED, kSession));
    ExpectEvent(cli, "disconnected");
    EXPECT_EQ(cli.Wait(), 1);
}

// Drives a client started with --auto-match --auto-accept into a conversation.
void TalkWith(FakeServer& server, int32_t session) {
    ASSERT_TRUE(server.Expect(MSG_CONNECT));
    server.Send(BuildConnectAck(session, 1));
    ASSERT_TRUE(server.Expect(MSG_MATCH_REQUEST));
    server.Send(BuildControl(MSG_MATCH_REQUEST_ACK, session));
    server.Send(BuildPartnerFound(session, kConversation, EmptyProfile()));
    ASSERT_TRUE(server.Expect(MSG_ACCEPT));
    server.Send(BuildControl(MSG_ACCEPT_ACK, session, kConversation));
    server.Send(BuildControl(MSG_TALK_START, session, kConversation));
    ASSERT_TRUE(server.Expect(MSG_TALK_START_ACK));
}

// A restarted server answers with MSG_SESSION_CLOSED: the conversation ends once, because the
// server was lost, then the session; the client connects again by itself and asks for a partner
// on its new session.
TEST(CliProcess, ClosedSessionEndsTheConversationOnceThenReconnectsAndAsksAgain) {
    FakeServer server;
    ChildProcess cli(VESSARO_CLI_PATH,
                     {"--server", "127.0.0.1", "--port", std::to_string(server.port()), "--json",
                      "--auto-match", "--auto-accept"},
                     false);
    TalkWith(server, kSession);
    ExpectEvent(cli, "talk_started");

    server.Send(BuildControl(MSG_SESSION_CLOSED, kSession));
    EXPECT_EQ(ExpectEvent(cli, "reconnecting")["in_ms"], 1000);
    std::vector<std::string> order;
    for (const std::string& line : cli.lines())
        order.push_back(json::parse(line)["event"]);
    std::vector<std::string> tail(order.end() - std::min<std::size_t>(order.size(), 4),
                                  order.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"server_lost", "talk_ended", "disconnected",
                                              "reconnecting"}));

    ASSERT_TRUE(server.Expect(MSG_CONNECT, std::chrono::seconds(5)));
    server.Send(BuildConnectAck(kSession + 1, 1));
    auto request = server.Expect(MSG_MATCH_REQUEST);
    ASSERT_TRUE(request);
    EXPECT_EQ(DatagramView(request->data(), request->size()).sessionId(), kSession + 1);
    ExpectEvent(cli, "connected");
    EXPECT_EQ(EventsOf(cli, "talk_ended").size(), 1u);

    cli.WriteLine("/quit");
    ASSERT_TRUE(server.Expect(MSG_DISCONNECT));
    server.Send(BuildControl(MSG_DISCONNECT_ACK, kSession + 1));
    EXPECT_EQ(cli.Wait(), 0);
}

// For a person: the profile to be sent comes first, a notice is shown once until it changes, and
// nothing received reaches the terminal as a control or as a line of its own.
TEST(CliProcess, HumanModeShowsTheProfileOnceEachNoticeAndNoReceivedControls) {
    FakeServer server;
    ChildProcess cli(VESSARO_CLI_PATH,
                     {"--server", "127.0.0.1", "--port", std::to_string(server.port()),
                      "--nickname", "小明", "--auto-match", "--auto-accept"},
                     false);
    auto first = cli.ReadLine();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->rfind("将发送的资料：昵称 小明，", 0), 0u) << *first;
    TalkWith(server, kSession);
    for (const char* url : {"http://a/", "http://a/", "http://b/\x1b]0;t\x07"})
        server.Send(BuildNotice(kSession, url, 0));
    server.Send(BuildTalkText(kSession, kConversation, 5, MakeTalkText("x\r\n\x1b[2J\x7f")));
    ASSERT_TRUE(cli.WaitFor("对方| "));
    cli.Signal(SIGKILL);
    std::size_t notices = 0;
    for (const std::string& line : cli.lines()) {
        notices += line.rfind("通知：", 0) == 0;
        for (unsigned char c : line)
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << line;
    }
    EXPECT_EQ(notices, 2u);
    const std::vector<std::string>& lines = cli.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "对方| \\x1b[2J\\x7f"), lines.end());
}

TEST(CliProcess, BadOptionIsRefusedWithExitCodeTwo) {
    ChildProcess cli(VESSARO_CLI_PATH, {"--age", "100"}, false);
    EXPECT_EQ(cli.Wait(), 2);
}

} // namespace
