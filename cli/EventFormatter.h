#pragma once

#include "EngineEvents.h"
#include "Records.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vessaro::cli {

// Turns engine events and the client's own happenings into output lines: one JSON object per line
// for programs (each with "ts", the UTC time in ISO 8601 with milliseconds), or short Chinese
// lines for a person. Texts come out as UTF-8; in the lines for a person everything received is
// made safe for the terminal (TerminalText.h), and a partner's text of several lines keeps the
// partner's label on every line.
class EventFormatter {
public:
    using Now = std::function<std::chrono::system_clock::time_point()>;

    explicit EventFormatter(bool json, Now now = std::chrono::system_clock::now)
        : json_(json), now_(std::move(now)) {}

    // The line for an event, without its final newline; empty for an unknown code. A person's
    // line for a partner's text or profile may hold several lines.
    std::string Event(int32_t code, const EventBlock& block) const;
    // The line for a text the user sent: confirmed by the partner, or not. textId is the engine's
    // id of the text (0 when the engine never took it), given to programs so that they can tell
    // two equal lines apart.
    std::string Sent(std::string_view utf8Text, bool confirmed, uint32_t textId = 0) const;
    // The session ended by itself and the next try comes in inMs.
    std::string Reconnecting(int64_t inMs) const;
    // A person's line showing the profile and requirement that a match request will send.
    std::string OwnProfile(const UserProfile& profile, const MatchRequirement& requirement) const;

private:
    bool json_;
    Now now_;
};

// "male", "female", "any" for the sex codes, "unknown" for any other value.
const char* SexWord(int32_t sex);

// The time as ISO 8601 UTC with milliseconds: "2024-05-01T08:30:00.125Z".
std::string IsoUtc(std::chrono::system_clock::time_point time);

} // namespace vessaro::cli
