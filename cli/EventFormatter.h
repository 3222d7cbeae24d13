#pragma once

#include "EngineEvents.h"

#include <string>
#include <string_view>

namespace vessaro::cli {

// Turns engine events and send results into output lines: one JSON object per line for programs,
// or short Chinese lines for a person. Texts come out as UTF-8.
class EventFormatter {
public:
    explicit EventFormatter(bool json) : json_(json) {}

    // The line for an event, without its newline; empty for an unknown code.
    std::string Event(int32_t code, const EventBlock& block) const;
    // The line for a text the user sent: confirmed by the partner, or not.
    std::string Sent(std::string_view utf8Text, bool confirmed) const;

private:
    bool json_;
};

} // namespace vessaro::cli
