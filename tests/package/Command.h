#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace vessaro::test {

struct CommandResult {
    int status = -1; // the exit status, or -1 when the command did not end normally
    std::string output;
};

// Runs a shell command line, reading what it writes to standard output (redirect standard error
// in the line itself to see it too).
inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), n);
    int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

inline bool HasCommand(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1").status == 0;
}

} // namespace vessaro::test
