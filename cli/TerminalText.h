#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vessaro::cli {

// Received text (from a partner or the server) made safe to write to a terminal, so that it can
// neither drive the terminal nor pass for the program's own lines:
// - C0 controls, DEL and C1 controls are shown as escapes ("\x1b", "\x7f", "\u009b");
// - bidirectional overrides, isolates and marks (U+202A-202E, U+2066-2069, U+200E, U+200F,
//   U+061C) and the Unicode line and paragraph separators are shown as "\u202e" and the like;
// - bytes that are not valid UTF-8 are shown as "\xff".
// Everything else, Chinese text included, is kept as it is.

// One line: line breaks are shown as escapes too.
std::string TerminalSafe(std::string_view utf8);

// A text that may hold several lines (CR, LF or CR LF end a line): each line made safe, without
// its line break. An empty text is one empty line.
std::vector<std::string> TerminalLines(std::string_view utf8);

} // namespace vessaro::cli
