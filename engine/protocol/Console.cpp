#include "Console.h"

#include <atomic>
#include <cstdarg>

namespace vessaro {
namespace {
std::atomic<std::FILE*> consoleStream{nullptr};
}

void SetConsoleStream(std::FILE* stream) {
    consoleStream.store(stream);
}

void ConsoleLine(const char* format, ...) {
    std::FILE* stream = consoleStream.load();
    if (!stream)
        stream = stdout;
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    std::fflush(stream);
}

} // namespace vessaro
