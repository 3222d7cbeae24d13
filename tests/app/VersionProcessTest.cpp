// The installed program answers --version and --help without a display and without a window.
#include "BuildConfig.h"
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vessaro {
namespace {

TEST(VersionProcessTest, VersionAndHelpNeedNoDisplay) {
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    {
        test::ChildProcess program(VESSARO_DESKTOP_BINARY, {"--version"});
        EXPECT_EQ(program.ReadLine(), VersionLine("vessaro"));
        EXPECT_EQ(program.ReadLine(), std::nullopt) << "one line only";
        EXPECT_EQ(program.Wait(), 0);
    }
    {
        test::ChildProcess program(VESSARO_DESKTOP_BINARY, {"--help"});
        const auto first = program.ReadLine();
        ASSERT_TRUE(first.has_value());
        EXPECT_EQ(first->rfind("Usage: vessaro", 0), 0u);
        EXPECT_EQ(program.Wait(), 0);
    }
}

TEST(VersionProcessTest, AnUnknownArgumentEndsWithStatusTwo) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    test::ChildProcess program(VESSARO_DESKTOP_BINARY, {"--no-such-option"}, false);
    EXPECT_EQ(program.ReadLine(), std::nullopt) << "nothing on standard output";
    EXPECT_EQ(program.Wait(), 2);
}

} // namespace
} // namespace vessaro
