#pragma once

#include "ChatEntry.h"

#include <QUrl>

#include <optional>
#include <string>
#include <vector>

namespace vessaro {

// The transcript as the chat window shows it live, and as it saves it.
//
// Live, a line of the user's that never reached the partner carries its red mark as a link: a
// click on it asks the window to send the line again (ResendIndex tells which). The saved page is
// the conversation as it took place: the lines that were said, without any mark, so that a page
// never passes an undelivered line off as said.

// One entry as the live view shows it.
std::string LiveEntryHtml(const ChatEntry& entry);
// The entry's mark as the live view shows it ("" once confirmed).
std::string LiveDeliveryMark(const ChatEntry& entry);
// The whole live page.
std::string LivePage(const std::vector<ChatEntry>& entries);
// The page to save: every entry but the user's lines still pending or failed.
std::string SavedPage(const std::vector<ChatEntry>& entries);

// The address that a failed line's mark links to, and the index of the line an address asks to
// send again (nothing for any other address).
QUrl ResendUrl(std::size_t index);
std::optional<std::size_t> ResendIndex(const QUrl& url);

} // namespace vessaro
