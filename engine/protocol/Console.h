#pragma once

#include <cstdio>

namespace vessaro {

// Diagnostic console lines, printf-style, untranslated, no levels. They go to standard output
// unless a program redirects them (vessaro-cli keeps its own output clean by sending them to
// standard error).
void SetConsoleStream(std::FILE* stream);
void ConsoleLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace vessaro
