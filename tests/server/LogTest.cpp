#include "Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace vessaro {
namespace {

TEST(Log, LinesCarryJournalPriorityOrTimeStampAndLevel) {
    using namespace std::chrono;
    const system_clock::time_point when{milliseconds(1765151234567)}; // 2025-12-07T23:47:14.567Z
    struct Case {
        LogLevel level;
        bool journal;
        std::string message, line;
    } cases[] = {
        {LogLevel::Error, true, "cannot bind", "<3>cannot bind"},
        {LogLevel::Warn, true, "w", "<4>w"},
        {LogLevel::Info, true, "ready", "<6>ready"},
        {LogLevel::Debug, true, "stats", "<7>stats"},
        {LogLevel::Error, false, "cannot bind", "2025-12-07T23:47:14.567Z error cannot bind"},
        {LogLevel::Warn, false, "w", "2025-12-07T23:47:14.567Z warn w"},
        {LogLevel::Info, false, "ready", "2025-12-07T23:47:14.567Z info ready"},
        {LogLevel::Debug, false, "stats", "2025-12-07T23:47:14.567Z debug stats"},
        // A message cannot start a line of its own or colour the terminal.
        {LogLevel::Info, true, "a\n<3>b\x1b[2J\x7f", "<6>a\\x0a<3>b\\x1b[2J\\x7f"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Logger::FormatLine(c.level, c.journal, c.message, when), c.line);
}

TEST(Log, MessagesBelowTheLevelAreLeftOut) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Logger log(LogLevel::Warn, true, out);
    log.Debug("d");
    log.Info("i");
    log.Warn("w");
    log.Error("e");
    log.SetLevel(LogLevel::Debug);
    log.Debug("d2");
    std::rewind(out);
    char buffer[256] = {};
    std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(buffer, n), "<4>w\n<3>e\n<7>d2\n");
    EXPECT_EQ(ParseLogLevel("debug"), LogLevel::Debug);
    EXPECT_EQ(ParseLogLevel("DEBUG"), std::nullopt);
}

// systemd names the journal's stream in JOURNAL_STREAM; a variable inherited by a process whose
// standard error goes elsewhere must not count.
TEST(Log, JournalModeOnlyWhenStandardErrorIsTheNamedStream) {
    struct stat st {};
    ASSERT_EQ(fstat(2, &st), 0);
    const std::string own =
        std::to_string((unsigned long long)st.st_dev) + ":" + std::to_string(st.st_ino);
    const std::pair<const char*, bool> cases[] = {
        {own.c_str(), true}, {"0:0", false}, {"garbage", false}, {nullptr, false}};
    for (const auto& [value, journal] : cases) {
        if (value)
            setenv("JOURNAL_STREAM", value, 1);
        else
            unsetenv("JOURNAL_STREAM");
        EXPECT_EQ(Logger::StderrIsJournal(), journal) << (value ? value : "unset");
    }
    unsetenv("JOURNAL_STREAM");
}

} // namespace
} // namespace vessaro
