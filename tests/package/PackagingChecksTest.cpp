// What the packages install beside the programs, checked against the programs and the tools that
// read it: the service unit's hardening and the shell completion's option lists.

#include "ChildProcess.h"
#include "Command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

namespace vessaro::test {
namespace {

const std::string kSource = VESSARO_SOURCE_DIR;

TEST(ServiceUnit, HardeningRatedAtMostTwoBySystemdAnalyze) {
    if (!HasCommand("systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed (package systemd)";
    CommandResult result = RunCommand("systemd-analyze security --offline=true --no-pager " +
                                      kSource + "/packaging/vessaro-server.service 2>&1");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(result.output, match,
                                  std::regex(R"(Overall exposure level for \S+: ([0-9.]+))")))
        << result.output;
    EXPECT_LE(std::stod(match[1]), 2.0) << result.output;
}

// The option names a CLI11 --help lists: the first column of the lines that start with a dash.
std::set<std::string> HelpOptions(const std::string& help) {
    std::set<std::string> options;
    std::istringstream lines(help);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line[start] != '-')
            continue;
        std::string column = line.substr(start, line.find(' ', start) - start);
        std::istringstream names(column);
        std::string name;
        while (std::getline(names, name, ','))
            if (name.rfind("-", 0) == 0)
                options.insert(name);
    }
    return options;
}

// The words the completion offers for the program's first argument, as bash would ask.
std::set<std::string> FirstWordCompletions(const std::string& program) {
    const std::string script = "source \"$0\"; COMP_WORDS=(" + program +
                               " ''); COMP_CWORD=1; $(complete -p " + program +
                               " | awk '{print $3}'); printf '%s\\n' \"${COMPREPLY[@]}\"";
    ChildProcess bash("/bin/bash", {"-c", script, kSource + "/packaging/completion/" + program});
    std::set<std::string> offered;
    while (auto line = bash.ReadLine())
        offered.insert(*line);
    EXPECT_EQ(bash.Wait(), 0) << program;
    return offered;
}

struct CompletedProgram {
    std::string name;
    std::string path;
    friend void PrintTo(const CompletedProgram& p, std::ostream* out) { *out << p.name; }
};

class Completion : public testing::TestWithParam<CompletedProgram> {};

TEST_P(Completion, OffersEveryOptionTheProgramLists) {
    const CompletedProgram& program = GetParam();
    CommandResult help = RunCommand(program.path + " --help");
    ASSERT_EQ(help.status, 0) << help.output;
    std::set<std::string> listed = HelpOptions(help.output);
    ASSERT_GT(listed.size(), 5u) << help.output;

    std::set<std::string> offered = FirstWordCompletions(program.name);
    for (const std::string& option : listed)
        EXPECT_TRUE(offered.count(option)) << program.name << " --help lists " << option
                                           << ", which its completion does not offer";
}

INSTANTIATE_TEST_SUITE_P(Programs, Completion,
                         testing::Values(CompletedProgram{"vessaro-server", VESSARO_SERVER_PATH},
                                         CompletedProgram{"vessaro-cli", VESSARO_CLI_PATH}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

} // namespace
} // namespace vessaro::test
