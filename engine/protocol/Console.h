#pragma once

#include <cstdio>

namespace vessaro {

// Diagnostic console lines, printf-style, untranslated, no levels. They go to standard output
// unless a program redirects them (vessaro-cli keeps its own output clean by sending them to
// standard error).
//
// On a terminal every line is written at once. Anywhere else (a file, a pipe, /dev/null) lines are
// gathered in the stream's buffer and written together: when it fills, when a line comes a second
// or more after the last write (the first line to a stream is written at once), when the stream is
// changed, at FlushConsole, and at exit. That spares a system call per line on the path of every
// message. Lines for /dev/null are dropped before they are formatted.
void SetConsoleStream(std::FILE* stream);
void ConsoleLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes out every line gathered so far.
void FlushConsole();

} // namespace vessaro
