// The program answers --version and --help without a display and without a window, and names an
// argument it does not know.
#include "BuildConfig.h"
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vessaro {
namespace {

TEST(VersionProcessTest, InformationOptionsNeedNoDisplayAndUnknownArgumentsFail) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    const struct {
        std::vector<std::string> args;
        const char* platform; // null: none at all
        std::optional<std::string> firstLine;
        int status;
    } cases[] = {
        {{"--version"}, nullptr, VersionLine("vessaro"), 0},
        {{"-platform", "offscreen", "--help"}, nullptr, "Usage: vessaro [options] [Qt options]", 0},
        {{"--no-such-option"}, "offscreen", std::nullopt, 2},  // told on standard error
        {{"--server", "bad:99999"}, nullptr, std::nullopt, 2}, // refused before any display
        {{"--profile", "../x"}, nullptr, std::nullopt, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        if (c.platform)
            ::setenv("QT_QPA_PLATFORM", c.platform, 1);
        else
            ::unsetenv("QT_QPA_PLATFORM");
        test::ChildProcess program(VESSARO_DESKTOP_BINARY, c.args, false);
        EXPECT_EQ(program.ReadLine(), c.firstLine);
        EXPECT_EQ(program.Wait(), c.status);
    }
}

} // namespace
} // namespace vessaro
