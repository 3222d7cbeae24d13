#pragma once

#include <string>
#include <vector>

namespace vessaro {

// What the desktop client does with its command line. It keeps no settings and takes no options
// of its own beyond --help and --version, which answer without a window (and without a display);
// Qt's own options (-platform NAME, -style NAME, ...) are Qt's. Anything else is a mistake that
// the user is told about.
struct CommandLineOutcome {
    bool exit = false;  // false: run the program
    int status = 0;     // exit status when exit is true
    std::string output; // to standard output when status is 0, else to standard error
};

// Before the application object exists: --help or --version (wherever they stand) print their text
// and end the program with status 0. args are the arguments after the program's name.
CommandLineOutcome InfoOptions(const std::vector<std::string>& args);

// After Qt has taken its own options: any argument left is unknown, status 2.
CommandLineOutcome LeftoverArguments(const std::vector<std::string>& args);

} // namespace vessaro
