#pragma once

#include "ChildProcess.h"
#include "ServerChild.h"

#include <cstdint>
#include <memory>

namespace vessaro::test {

// Two clients that found each other and are talking.
struct TalkingPair {
    std::unique_ptr<ChildProcess> a, b;
};

// Starts two clients, each through its port (the server's own, or a proxy's), lets them find each
// other and open a conversation; fails the test when they do not.
TalkingPair StartTalkingPair(const ServerChild& server, uint16_t portOfA, uint16_t portOfB);

} // namespace vessaro::test
