#include "Log.h"

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>

namespace vessaro {

std::optional<LogLevel> ParseLogLevel(std::string_view word) {
    if (word == "error")
        return LogLevel::Error;
    if (word == "warn")
        return LogLevel::Warn;
    if (word == "info")
        return LogLevel::Info;
    if (word == "debug")
        return LogLevel::Debug;
    return std::nullopt;
}

Logger::Logger(LogLevel level, bool journal, std::FILE* out)
    : level_(level), journal_(journal), out_(out) {}

void Logger::Write(LogLevel level, std::string_view message) {
    if (!Enabled(level))
        return;
    std::string line = FormatLine(level, journal_, message, std::chrono::system_clock::now());
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

std::string Logger::FormatLine(LogLevel level, bool journal, std::string_view message,
                               std::chrono::system_clock::time_point when) {
    static constexpr const char* kPriority[] = {SD_ERR, SD_WARNING, SD_INFO, SD_DEBUG};
    static constexpr const char* kWord[] = {"error", "warn", "info", "debug"};
    const int i = int(level);
    std::string line;
    if (journal) {
        line = kPriority[i];
    } else {
        using namespace std::chrono;
        const std::time_t seconds = system_clock::to_time_t(when);
        const long millis =
            long(duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        char stamp[40];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
        char full[64];
        std::snprintf(full, sizeof full, "%s.%03ldZ %s ", stamp, millis < 0 ? 0 : millis, kWord[i]);
        line = full;
    }
    for (unsigned char c : message) {
        if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            line += escaped;
        } else {
            line += char(c);
        }
    }
    return line;
}

bool Logger::StderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream)
        return false;
    unsigned long long device = 0, inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2)
        return false;
    struct stat st {};
    if (fstat(2, &st) != 0)
        return false;
    return (unsigned long long)st.st_dev == device && (unsigned long long)st.st_ino == inode;
}

} // namespace vessaro
