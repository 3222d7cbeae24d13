#include "CommandLine.h"

#include "BuildConfig.h"

namespace vessaro {
namespace {

constexpr const char* kHelp =
    "Usage: vessaro [--help] [--version] [Qt options]\n"
    "Vessaro desktop client: anonymous one-to-one text chat with strangers.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "The matching server and the web site are built in; the program keeps no settings.\n"
    "Qt's own options, such as -platform NAME, are accepted as well.\n";

} // namespace

CommandLineOutcome InfoOptions(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h")
            return {true, 0, kHelp};
        if (arg == "--version")
            return {true, 0, VersionLine("vessaro") + "\n"};
    }
    return {};
}

CommandLineOutcome LeftoverArguments(const std::vector<std::string>& args) {
    if (args.empty())
        return {};
    return {true, 2, "vessaro: unknown argument '" + args.front() + "' (try 'vessaro --help')\n"};
}

} // namespace vessaro
