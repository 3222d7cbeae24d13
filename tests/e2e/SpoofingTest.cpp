// Third parties who know a client's address and port, or even its session and conversation ids,
// but send from an address or port of their own, can neither inject a line, end a conversation,
// nor disconnect anyone: neither the client nor the server listens to them.
#include "CliEvents.h"
#include "Codec.h"
#include "FakeServer.h"
#include "ImpairmentProxy.h"
#include "Messages.h"
#include "ServerChild.h"
#include "TalkingPair.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vessaro;
using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

constexpr int32_t kSession = 0x51;
constexpr int32_t kConversation = 0x77;

// Every spoofer sends the message from its own socket to the port.
template <std::size_t N>
void SpoofAll(std::vector<UdpPeer*>& spoofers, uint16_t port, const DatagramBytes<N>& message) {
    for (UdpPeer* spoofer : spoofers)
        EXPECT_TRUE(spoofer->SendTo(port, message));
}

// Nothing is expected to come of a spoofed datagram, so the only way to see that it was ignored
// is to give it time to act, then check that the next genuine step is what follows.
void LetSpoofsLand() {
    std::this_thread::sleep_for(150ms);
}

TEST(Spoofing, TheClientListensOnlyToItsServer) {
    FakeServer server;
    ChildProcess client(VESSARO_CLI_PATH,
                        {"--server", "127.0.0.1", "--port", std::to_string(server.port()), "--json",
                         "--auto-accept"},
                        false);
    ASSERT_TRUE(server.Expect(MSG_CONNECT));
    uint16_t clientPort = server.clientPort();
    UdpPeer samePlaceOtherPort(UdpPeer::Wire::Complemented),
        otherAddress(UdpPeer::Wire::Complemented, "127.0.0.2");
    std::vector<UdpPeer*> spoofers = {&samePlaceOtherPort};
    if (otherAddress.ok())
        spoofers.push_back(&otherAddress);

    // A forged grant before the real one would give the client a session of the forger's choice.
    SpoofAll(spoofers, clientPort, BuildConnectAck(0x99, 1));
    LetSpoofsLand();
    server.Send(BuildConnectAck(kSession, 1));
    ExpectEvent(client, "connected");
    client.WriteLine("/match");
    auto request = server.Expect(MSG_MATCH_REQUEST);
    ASSERT_TRUE(request);
    EXPECT_EQ(DatagramView(*request).sessionId(), kSession) << "the forged session was taken";

    server.Send(BuildControl(MSG_MATCH_REQUEST_ACK, kSession));
    ExpectEvent(client, "matching");
    // A forged offer while waiting.
    SpoofAll(spoofers, clientPort, BuildPartnerFound(kSession, 0x66, EmptyProfile()));
    LetSpoofsLand();
    UserProfile partner = EmptyProfile();
    CopyToField(partner.nickname, "real");
    server.Send(BuildPartnerFound(kSession, kConversation, partner));
    EXPECT_EQ(ExpectEvent(client, "partner_found")["partner"]["nickname"], "real");
    auto accept = server.Expect(MSG_ACCEPT);
    ASSERT_TRUE(accept);
    EXPECT_EQ(DatagramView(*accept).conversationId(), kConversation);
    server.Send(BuildControl(MSG_ACCEPT_ACK, kSession));
    server.Send(BuildControl(MSG_TALK_START, kSession));
    ExpectEvent(client, "talk_started");

    // In conversation, with the right ids: a line, the partner's hang-up, the session's end.
    SpoofAll(spoofers, clientPort,
             BuildTalkText(kSession, kConversation, 5, MakeTalkText("injected")));
    SpoofAll(spoofers, clientPort, BuildControl(MSG_PEER_HANGUP, kSession, kConversation));
    SpoofAll(spoofers, clientPort, BuildControl(MSG_SESSION_CLOSED, kSession));
    LetSpoofsLand();

    server.Send(BuildTalkText(kSession, kConversation, 9, MakeTalkText("genuine")));
    EXPECT_EQ(ExpectEvent(client, "talk_text")["text"], "genuine");
    auto ack = server.Expect(MSG_TALK_TEXT);
    ASSERT_TRUE(ack);
    EXPECT_EQ(DatagramView(*ack).talkSequence(), 9u) << "a spoofed line was acknowledged";
    EXPECT_EQ(EventsOf(client, "talk_text").size(), 1u);
    EXPECT_FALSE(HasPrinted(client, "talk_ended"));
    EXPECT_FALSE(HasPrinted(client, "disconnected"));
    EXPECT_EQ(EventsOf(client, "partner_found").size(), 1u);
}

TEST(Spoofing, TheServerIgnoresSessionIdsFromOtherSenders) {
    ServerChild server;
    ASSERT_NE(server.port(), 0);
    // Plain relays that show the ids on the path, as an eavesdropper would see them.
    ImpairmentProxy pathOfA(server.port(), {}, {}, 1), pathOfB(server.port(), {}, {}, 2);
    TalkingPair pair = StartTalkingPair(server, pathOfA.port(), pathOfB.port());
    ASSERT_FALSE(HasFatalFailure());
    pair.a->WriteLine("hello");
    ExpectEvent(*pair.b, "talk_text");

    UdpPeer samePlaceOtherPort(UdpPeer::Wire::Complemented),
        otherAddress(UdpPeer::Wire::Complemented, "127.0.0.2");
    std::vector<UdpPeer*> spoofers = {&samePlaceOtherPort};
    if (otherAddress.ok())
        spoofers.push_back(&otherAddress);
    for (ImpairmentProxy* path : {&pathOfA, &pathOfB}) {
        int32_t session = path->sessionId(), conversation = path->conversationId();
        ASSERT_NE(session, 0);
        ASSERT_NE(conversation, 0);
        SpoofAll(spoofers, server.port(),
                 BuildTalkText(session, conversation, 123456, MakeTalkText("injected")));
        SpoofAll(spoofers, server.port(), BuildControl(MSG_HANGUP, session, conversation));
        SpoofAll(spoofers, server.port(), BuildControl(MSG_DISCONNECT, session));
        SpoofAll(spoofers, server.port(), BuildControl(MSG_MATCH_CANCEL, session));
    }
    LetSpoofsLand();

    pair.b->WriteLine("still here");
    EXPECT_EQ(ExpectEvent(*pair.a, "talk_text")["text"], "still here");
    pair.a->WriteLine("me too");
    EXPECT_EQ(ExpectEvent(*pair.b, "talk_text")["text"], "me too");
    EXPECT_EQ(EventsOf(*pair.a, "talk_text").size(), 1u) << "a spoofed line reached A";
    EXPECT_EQ(EventsOf(*pair.b, "talk_text").size(), 2u) << "a spoofed line reached B";
    for (ChildProcess* client : {pair.a.get(), pair.b.get()}) {
        EXPECT_FALSE(HasPrinted(*client, "talk_ended"));
        EXPECT_FALSE(HasPrinted(*client, "disconnected"));
        EXPECT_FALSE(HasPrinted(*client, "send_failed"));
    }
}

} // namespace
