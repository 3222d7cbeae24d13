#pragma once

#include "ServerAddress.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace vessaro {

// What the desktop client does with its command line. --help and --version answer without a
// window (and without a display); the program's own options choose the server, the settings
// profile and whether to run beside a copy already running; Qt's own options (-platform NAME,
// -style NAME, ...) are Qt's. Anything else is a mistake that the user is told about.
struct CommandLineOutcome {
    bool exit = false;  // false: run the program
    int status = 0;     // exit status when exit is true
    std::string output; // to standard output when status is 0, else to standard error
};

// The program's own options.
struct DesktopOptions {
    std::optional<ServerAddress> server; // --server HOST[:PORT]: used and remembered
    QString profile;                     // --profile NAME: "" is the default profile
    bool newInstance = false;            // --new-instance: run even if a copy is running
};

// Before the application object exists: --help or --version (wherever they stand) print their text
// and end the program with status 0. args are the arguments after the program's name.
CommandLineOutcome InfoOptions(const std::vector<std::string>& args);

// Before the application object exists: takes the program's own options out of args (as
// "--name VALUE" or "--name=VALUE") into options, leaving the rest for Qt. A missing or bad value
// ends the program with status 2 and says why.
CommandLineOutcome TakeProgramOptions(std::vector<std::string>& args, DesktopOptions& options);

// After Qt has taken its own options: any argument left is unknown, status 2.
CommandLineOutcome LeftoverArguments(const std::vector<std::string>& args);

// A settings profile name: 1 to 32 ASCII letters, digits, '-' and '_'.
bool IsValidProfileName(const std::string& name);

} // namespace vessaro
