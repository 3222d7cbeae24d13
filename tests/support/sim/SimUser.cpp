#include "SimUser.h"

#include "Codec.h"

namespace vessaro::test {

void MakeAutoUser(Simulation& sim, SimClient& client, const char* nickname, int32_t sex,
                  int32_t wantSex) {
    UserProfile profile = EmptyProfile();
    CopyToField(profile.nickname, nickname);
    profile.sex = sex;
    profile.age = 30;
    MatchRequirement want = EmptyRequirement();
    CopyToField(want.topic, "chat");
    want.sex = wantSex;
    want.maxAge = 120;
    auto backoff = std::make_shared<ReconnectBackoff>();
    client.onEvent = [&sim, profile, want, backoff](SimClient& c, const SimClient::Event& e) {
        ClientEngine& engine = c.engine();
        switch (e.code) {
        case EVT_CONNECTED:
            backoff->Reset();
            engine.RequestMatch(profile, want);
            break;
        case EVT_PARTNER_FOUND:
            engine.Accept();
            break;
        case EVT_TALK_ENDED:
            if (engine.state() == CLIENT_STATE_CONNECTED)
                engine.RequestMatch(profile, want);
            break;
        case EVT_CONNECT_FAILED:
        case EVT_DISCONNECTED:
            sim.After(uint32_t(backoff->NextDelayMs()), [&engine] { engine.Connect(); });
            break;
        default:
            break;
        }
    };
}

void MakeAutoPair(Simulation& sim, SimClient& a, SimClient& b) {
    MakeAutoUser(sim, a, "a", SEX_MALE, SEX_FEMALE);
    MakeAutoUser(sim, b, "b", SEX_FEMALE, SEX_MALE);
}

bool BothTalking(const SimClient& a, const SimClient& b) {
    return a.state() == CLIENT_STATE_TALKING && b.state() == CLIENT_STATE_TALKING;
}

} // namespace vessaro::test
