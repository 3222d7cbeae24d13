#include "CommandLine.h"

#include "BuildConfig.h"

#include <algorithm>

namespace vessaro {
namespace {

constexpr const char* kHelp =
    "Usage: vessaro [options] [Qt options]\n"
    "Vessaro desktop client: anonymous one-to-one text chat with strangers.\n"
    "\n"
    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "      --server HOST[:PORT]\n"
    "                        use this matching server and remember it; HOST is a host name,\n"
    "                        an IPv4 address or an IPv6 address ([::1]:13366, or ::1 without\n"
    "                        a port); PORT is 1-65535, 13366 when left out\n"
    "      --profile NAME    use the separate settings profile NAME (letters, digits, - and _,\n"
    "                        at most 32), with its own remembered server, profile and wishes\n"
    "      --new-instance    start even if a copy for this user and profile is running\n"
    "                        (otherwise that copy's window is brought up and this one ends)\n"
    "\n"
    "Settings are kept in ~/.config/vessaro/vessaro.conf (vessaro-NAME.conf for --profile NAME)\n"
    "and can be changed in the program's settings dialog.\n"
    "Qt's own options, such as -platform NAME, are accepted as well.\n";

CommandLineOutcome Usage(const std::string& message) {
    return {true, 2, "vessaro: " + message + " (try 'vessaro --help')\n"};
}

std::string ServerError(const std::string& value, ServerAddressError error) {
    switch (error) {
    case ServerAddressError::kEmpty:
        return "--server needs HOST[:PORT]";
    case ServerAddressError::kBadPort:
        return "bad port in --server '" + value + "': the port must be a number from 1 to 65535";
    case ServerAddressError::kBadHost:
        break;
    }
    return "bad host in --server '" + value +
           "': expected a host name, an IPv4 address or an IPv6 address ([::1]:13366)";
}

// Applies one of the program's options; name is known, value is its value.
CommandLineOutcome Apply(const std::string& name, const std::string& value,
                         DesktopOptions& options) {
    if (name == "--server") {
        const ServerAddressResult result =
            ParseServerAddress(QString::fromStdString(value), VESSARO_SERVER_PORT);
        if (!result.address)
            return Usage(ServerError(value, result.error));
        options.server = result.address;
    } else if (name == "--profile") {
        if (!IsValidProfileName(value))
            return Usage("bad --profile '" + value + "': use 1 to 32 letters, digits, '-' and '_'");
        options.profile = QString::fromStdString(value);
    }
    return {};
}

} // namespace

bool IsValidProfileName(const std::string& name) {
    return !name.empty() && name.size() <= 32 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

CommandLineOutcome InfoOptions(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h")
            return {true, 0, kHelp};
        if (arg == "--version")
            return {true, 0, VersionLine("vessaro") + "\n"};
    }
    return {};
}

CommandLineOutcome TakeProgramOptions(std::vector<std::string>& args, DesktopOptions& options) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--new-instance") {
            options.newInstance = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (const auto equals = arg.find('=');
            arg.starts_with("--") && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        if (name != "--server" && name != "--profile") {
            rest.push_back(arg);
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= args.size())
                return Usage(name + " needs a value");
            value = args[++i];
        }
        if (auto outcome = Apply(name, value, options); outcome.exit)
            return outcome;
    }
    args = std::move(rest);
    return {};
}

CommandLineOutcome LeftoverArguments(const std::vector<std::string>& args) {
    if (args.empty())
        return {};
    return Usage("unknown argument '" + args.front() + "'");
}

} // namespace vessaro
