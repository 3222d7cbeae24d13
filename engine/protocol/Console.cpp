#include "Console.h"

#include <chrono>
#include <cstdarg>
#include <mutex>
#include <unistd.h>

namespace vessaro {
namespace {

using Clock = std::chrono::steady_clock;

// A line gathered while the output is not a terminal waits at most until the next line that comes
// this long after the last write.
constexpr auto kLongestHold = std::chrono::seconds(1);

struct ConsoleState {
    std::mutex mutex;
    std::FILE* chosen = nullptr; // null: standard output
    bool known = false;          // whether `terminal` has been found out for the stream in use
    bool terminal = false;
    Clock::time_point lastWrite{};
};

ConsoleState& State() {
    static ConsoleState* state = new ConsoleState; // used from threads that outlive the statics
    return *state;
}

std::FILE* InUse(const ConsoleState& s) {
    return s.chosen ? s.chosen : stdout;
}

} // namespace

void SetConsoleStream(std::FILE* stream) {
    ConsoleState& s = State();
    std::lock_guard lock(s.mutex);
    std::fflush(InUse(s));
    s.chosen = stream;
    s.known = false;
    s.lastWrite = {};
}

void ConsoleLine(const char* format, ...) {
    ConsoleState& s = State();
    std::lock_guard lock(s.mutex);
    std::FILE* stream = InUse(s);
    if (!s.known) {
        s.terminal = isatty(fileno(stream)) == 1;
        s.known = true;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    if (s.terminal) {
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
