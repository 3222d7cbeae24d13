// Third parties cannot steer a conversation they are not part of. One who has seen both users'
// session and conversation ids on the path, but sends from an address or port of its own, can
// neither inject a line, end the conversation, cancel nor disconnect anyone at the server; one who
// sends from the server's own address but has to guess the ids is not heard by the clients.
#include "SimUser.h"
#include "WireTransform.h"

#include <gtest/gtest.h>

#include <map>

namespace vessaro::test {
namespace {

struct Ids {
    int32_t session = 0;
    int32_t conversation = 0;
};

class SpoofingSim : public ::testing::TestWithParam<uint64_t> {
protected:
    void SetUp() override {
        MakeAutoPair(sim, a, b);
        // The eavesdropper keeps the latest ids each user sent.
        sim.network().observer = [this](const SimDatagram& d) {
            std::vector<uint8_t> plain(d.bytes.size());
            CommInvertBytes(d.bytes.data(), plain.data(), int(plain.size()));
            DatagramView view(plain.data(), plain.size());
            if (d.to == Simulation::kServerAddress && view.complete() && view.sessionId() != 0) {
                Ids& ids = seen[d.from.port];
                ids.session = view.sessionId();
                if (view.conversationId() != 0)
                    ids.conversation = view.conversationId();
            }
        };
        a.engine().Connect();
        b.engine().Connect();
        ASSERT_TRUE(sim.RunUntil([&] { return Talking(); }, 30000));
        sim.RunFor(6000); // a probe or two, so both ids have been on the path
    }

    bool Talking() const { return BothTalking(a, b); }

    void ExpectConversationUntouched() {
        sim.RunFor(3000);
        EXPECT_TRUE(Talking());
        EXPECT_EQ(sim.server().Stats().conversations, 1u);
        for (SimClient* client : {&a, &b}) {
            EXPECT_TRUE(client->TextsShown().empty()) << "a forged line was shown";
            EXPECT_EQ(client->Count(EVT_TALK_ENDED), 0u);
            EXPECT_EQ(client->Count(EVT_DISCONNECTED), 0u);
            EXPECT_EQ(client->Count(EVT_PARTNER_FOUND), 1u);
        }
    }

    Simulation sim{GetParam(), ServerConfig{}, Impairment{0.0, 0.0, 5, 10}};
    SimClient& a = sim.AddClient();
    SimClient& b = sim.AddClient();
    std::map<uint16_t, Ids> seen; // by the user's port
};

TEST_P(SpoofingSim, TheServerIgnoresKnownIdsFromOtherSenders) {
    const Endpoint elsewhere(0x0A630001, 5555); // 10.99.0.1
    std::vector<Endpoint> forgers = {elsewhere};
    for (SimClient* victim : {&a, &b}) {
        // The victim's own address, another port.
        forgers.push_back(Endpoint(victim->address().V4(), uint16_t(victim->address().port + 1)));
    }
    for (SimClient* victim : {&a, &b}) {
        const Ids ids = seen[victim->address().port];
        ASSERT_NE(ids.session, 0);
        ASSERT_NE(ids.conversation, 0);
        for (const Endpoint& from : forgers) {
            const auto to = Simulation::kServerAddress;
            sim.Forge(
                from, to,
                BuildTalkText(ids.session, ids.conversation, 123456, MakeTalkText("injected")));
            sim.Forge(from, to, BuildControl(MSG_HANGUP, ids.session, ids.conversation));
            sim.Forge(from, to, BuildControl(MSG_MATCH_CANCEL, ids.session));
            sim.Forge(from, to, BuildControl(MSG_DISCONNECT, ids.session));
        }
    }
    ExpectConversationUntouched();
    EXPECT_GE(sim.server().Stats().droppedWrongSender, 2u * 3u * 4u);
}

TEST_P(SpoofingSim, TheClientsIgnoreGuessedIdsFromTheServersAddress) {
    std::mt19937_64 guess(GetParam());
    for (int i = 0; i < 200; ++i) {
        const int32_t session = int32_t(guess()), conversation = int32_t(guess());
        for (SimClient* victim : {&a, &b}) {
            const Ids real = seen[victim->address().port];
            if (session == real.session)
                continue;
            const Endpoint from = Simulation::kServerAddress, to = victim->address();
            sim.Forge(from, to,
                      BuildTalkText(session, real.conversation, uint32_t(i + 1),
                                    MakeTalkText("injected")));
            sim.Forge(from, to, BuildControl(MSG_PEER_HANGUP, session, conversation));
            sim.Forge(from, to, BuildControl(MSG_SESSION_CLOSED, session));
            sim.Forge(from, to, BuildPartnerFound(session, conversation, EmptyProfile()));
        }
    }
    ExpectConversationUntouched();
}

INSTANTIATE_TEST_SUITE_P(Seeds, SpoofingSim, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });

} // namespace
} // namespace vessaro::test
