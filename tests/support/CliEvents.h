#pragma once

#include "ChildProcess.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace vessaro::test {

// The events that vessaro-cli --json prints, one JSON object a line, read from its process.

// Waits for the client's next event of that name and returns its line parsed; a test failure
// (showing the last lines it printed) and an empty object when none comes in time.
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

} // namespace vessaro::test
