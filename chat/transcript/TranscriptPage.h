#pragma once

#include "ChatEntry.h"

#include <string>
#include <string_view>
#include <vector>

namespace vessaro {

// The page that shows a conversation, byte for byte as the transcript view shows it and as it is
// saved. Every odd piece of it (the script before the head, the unclosed style rule, colours
// without "#", "&nbsp" without its semicolon) is part of the page and kept as it is.

// An entry of the user's own that is still on its way, or that never reached the partner, carries
// a mark after its time stamp ("（发送中）" grey, "（未送达）" red), on show and in the saved page,
// so that a page never passes an undelivered line off as said. A confirmed entry has no mark: its
// bytes are those of a page without marks.

// The whole page for the entries, first to last.
std::string BuildPage(const std::vector<ChatEntry>& entries);

// The parts of the page, for a view that appends entries to a live document instead of loading
// the whole page again: BuildPage is PageStart() + every EntryHtml() + PageEnd().
std::string_view PageStart();
std::string_view PageEnd();
std::string EntryHtml(const ChatEntry& entry);

// One message text as HTML: markup characters escaped so that nothing a partner types can act as
// markup or script, CR LF pairs turned into "<br>&nbsp;&nbsp", and the first "http://" address
// linked wherever it occurs.
std::string FormatText(std::string_view gbkText);

} // namespace vessaro
