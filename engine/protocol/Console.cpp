#include "Console.h"

#include <chrono>
#include <cstdarg>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace vessaro {
namespace {

using Clock = std::chrono::steady_clock;

// A line gathered while the output is not a terminal waits at most until the next line that comes
// this long after the last write.
constexpr auto kLongestHold = std::chrono::seconds(1);

enum class Sink { Unknown, Terminal, Discarded, Other };

struct ConsoleState {
    std::mutex mutex;
    std::FILE* chosen = nullptr; // null: standard output
    Sink sink = Sink::Unknown;   // what the stream in use leads to, found out at its first line
    Clock::time_point lastWrite{};
};

ConsoleState& State() {
    static ConsoleState* state = new ConsoleState; // used from threads that outlive the statics
    return *state;
}

std::FILE* InUse(const ConsoleState& s) {
    return s.chosen ? s.chosen : stdout;
}

// Lines that go to /dev/null are not even formatted.
Sink SinkOf(std::FILE* stream) {
    const int fd = fileno(stream);
    if (fd < 0)
        return Sink::Other;
    if (isatty(fd) == 1)
        return Sink::Terminal;
    struct stat out {
    }, null{};
    if (fstat(fd, &out) == 0 && stat("/dev/null", &null) == 0 && S_ISCHR(out.st_mode) &&
        S_ISCHR(null.st_mode) && out.st_rdev == null.st_rdev)
        return Sink::Discarded;
    return Sink::Other;
}

} // namespace

void SetConsoleStream(std::FILE* stream) {
    ConsoleState& s = State();
    std::lock_guard lock(s.mutex);
    std::fflush(InUse(s));
    s.chosen = stream;
    s.sink = Sink::Unknown;
    s.lastWrite = {};
}

void ConsoleLine(const char* format, ...) {
    ConsoleState& s = State();
    std::lock_guard lock(s.mutex);
    std::FILE* stream = InUse(s);
    if (s.sink == Sink::Unknown)
        s.sink = SinkOf(stream);
    if (s.sink == Sink::Discarded)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    if (s.sink == Sink::Terminal) {
        std::fflush(stream);
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now - s.lastWrite >= kLongestHold) {
        std::fflush(stream);
        s.lastWrite = now;
    }
}

void FlushConsole() {
    ConsoleState& s = State();
    std::lock_guard lock(s.mutex);
    std::fflush(InUse(s));
}

} // namespace vessaro
