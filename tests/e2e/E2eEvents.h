#pragma once

#include "ChildProcess.h"
#include "ServerProcess.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vessaro::test {

// The vessaro-cli --json events of the whole-system tests.

// Waits for the client's next event of that name and returns its JSON line parsed; a test
// failure (and an empty object) when none comes in time.
nlohmann::json ExpectEvent(ChildProcess& client, const std::string& event,
                           std::chrono::milliseconds timeout = std::chrono::seconds(15));

// Whether the client has printed an event of that name so far (among the lines read).
bool HasPrinted(const ChildProcess& client, const std::string& event);

// Every event of that name among the lines read so far, parsed, in order.
std::vector<nlohmann::json> EventsOf(const ChildProcess& client, const std::string& event);

// Reads the client's output until it has printed `count` events whose names are among `events`,
// or the time is up. Returns whether the count was reached.
bool ReadUntilCount(ChildProcess& client, const std::vector<std::string>& events, std::size_t count,
                    std::chrono::milliseconds timeout);

// Two clients that found each other and are talking.
struct TalkingPair {
    std::unique_ptr<ChildProcess> a, b;
};

// Starts two clients, each through its port (the server's own, or a proxy's), lets them find each
// other and open a conversation; fails the test when they do not.
TalkingPair StartTalkingPair(const ServerProcess& server, uint16_t portOfA, uint16_t portOfB);

} // namespace vessaro::test
