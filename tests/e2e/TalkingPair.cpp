#include "TalkingPair.h"

#include "CliEvents.h"

namespace vessaro::test {

TalkingPair StartTalkingPair(const ServerChild& server, uint16_t portOfA, uint16_t portOfB) {
    TalkingPair pair;
    pair.a = server.StartClientVia(
        portOfA, {"--nickname", "甲", "--sex", "male", "--want-sex", "female", "--auto-accept"});
    pair.b = server.StartClientVia(
        portOfB, {"--nickname", "乙", "--sex", "female", "--want-sex", "male", "--auto-accept"});
    for (ChildProcess* client : {pair.a.get(), pair.b.get()}) {
        ExpectEvent(*client, "connected");
        client->WriteLine("/match");
    }
    for (ChildProcess* client : {pair.a.get(), pair.b.get()})
        ExpectEvent(*client, "talk_started");
    return pair;
}

} // namespace vessaro::test
