#pragma once

#include "Records.h"

#include <QString>

namespace vessaro {

// A profile as its pane in the chat window shows it: six lines separated by CR LF (nickname, sex,
// age, trade, city and district, introduction) with their labels in the interface's language.
// Untranslated it is exactly FormatProfileText's text, decoded from GBK.
QString ProfilePaneText(const UserProfile& profile);

} // namespace vessaro
