#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace vessaro {

enum class LogLevel { Error, Warn, Info, Debug };

// "error", "warn", "info" or "debug"; nothing for any other word.
std::optional<LogLevel> ParseLogLevel(std::string_view word);

// The server's log, one line per message on standard error. Under systemd (the journal holds
// standard error) each line starts with its priority ("<3>" … "<7>") and has no time stamp of its
// own; otherwise it starts with an ISO 8601 UTC time stamp and the level's word. Control
// characters in a message are written visibly, so that no message can forge a line.
class Logger {
public:
    Logger(LogLevel level, bool journal, std::FILE* out = stderr);

    // A reload sets the level while other threads (the cluster's link) may be logging.
    void SetLevel(LogLevel level) { level_.store(level, std::memory_order_relaxed); }
    bool Enabled(LogLevel level) const { return level <= level_.load(std::memory_order_relaxed); }

    void Error(std::string_view message) { Write(LogLevel::Error, message); }
    void Warn(std::string_view message) { Write(LogLevel::Warn, message); }
    void Info(std::string_view message) { Write(LogLevel::Info, message); }
    void Debug(std::string_view message) { Write(LogLevel::Debug, message); }
    void Write(LogLevel level, std::string_view message);

    // One line as written, without its line break.
    static std::string FormatLine(LogLevel level, bool journal, std::string_view message,
                                  std::chrono::system_clock::time_point when);

    // True when standard error goes to the journal: JOURNAL_STREAM names its device and inode.
    static bool StderrIsJournal();

private:
    std::atomic<LogLevel> level_;
    bool journal_;
    std::FILE* out_;
};

} // namespace vessaro
