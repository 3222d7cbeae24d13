#pragma once

#include "ConditionValues.h"

#include <cstdint>
#include <string>
#include <variant>

namespace vessaro::cli {

struct CliOptions {
    std::string server;
    uint16_t port = 0;
    ConditionValues values; // the conditions dialog's values, filled from the options
    bool autoMatch = false;
    bool autoAccept = false;
    // Connect again by itself whenever the session ends without the user asking; always on with
    // autoMatch.
    bool reconnect = false;
    bool json = false;
    bool verbose = false; // the engine's trace lines on standard error
};

// Parsing ends either with options to run with, or with an exit code and what to print (help or
// the version on standard output with code 0, an error on standard error with code 2).
struct CliExit {
    int code = 0;
    std::string message;
};

std::variant<CliOptions, CliExit> ParseCliOptions(int argc, const char* const* argv);

} // namespace vessaro::cli
