#include "CommandLine.h"

#include "BuildConfig.h"

#include <gtest/gtest.h>

namespace vessaro {
namespace {

struct InfoCase {
    const char* name;
    std::vector<std::string> args;
    bool exit;
    const char* startsWith; // of the output, when it exits
};

TEST(CommandLineTest, HelpAndVersionAnswerWhereverTheyStandAndNothingElseDoes) {
    const std::string version = VersionLine("vessaro") + "\n";
    const InfoCase cases[] = {
        {"none", {}, false, ""},
        {"version", {"--version"}, true, version.c_str()},
        {"help", {"--help"}, true, "Usage: vessaro"},
        {"short_help", {"-h"}, true, "Usage: vessaro"},
        {"after_a_qt_option", {"-platform", "offscreen", "--version"}, true, version.c_str()},
        {"first_wins", {"--help", "--version"}, true, "Usage: vessaro"},
        {"qt_options_are_qts", {"-platform", "offscreen"}, false, ""},
        {"version_with_a_value", {"--version=2"}, false, ""},
    };
    for (const InfoCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandLineOutcome outcome = InfoOptions(c.args);
        EXPECT_EQ(outcome.exit, c.exit);
        if (!c.exit)
            continue;
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.output.rfind(c.startsWith, 0), 0u) << outcome.output;
    }
    EXPECT_EQ(InfoOptions({"--version"}).output, version) << "exactly the version line";
}

TEST(CommandLineTest, ArgumentsLeftAfterQtAreAnErrorThatNamesTheFirst) {
    EXPECT_FALSE(LeftoverArguments({}).exit);
    const CommandLineOutcome unknown = LeftoverArguments({"--server", "x"});
    EXPECT_TRUE(unknown.exit);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("'--server'"), std::string::npos) << unknown.output;
    EXPECT_NE(unknown.output.find("--help"), std::string::npos);
}

} // namespace
} // namespace vessaro
