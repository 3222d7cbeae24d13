#pragma once

#include "Records.h"

#include <QString>
#include <QStringView>

namespace vessaro {

// Text that a partner chose (nickname, profile fields), made harmless for a label: nothing in it
// can break a line, hide itself, or turn the text around it.
//
// SafeLine gives one line: every line break (CR LF, CR, LF, vertical tab, form feed, next line,
// line and paragraph separators) and tab becomes one blank, other control characters (C0, DEL,
// C1) become U+FFFD, and the bidirectional embeddings, overrides and isolates are removed, so a
// right-to-left override cannot reverse the text that follows it.
QString SafeLine(QStringView text);

// A partner's text for a desktop notification: one safe line (SafeLine), blanks at either end
// dropped, and cut to at most maxChars characters, the last of them "…", when longer; a character
// is never split (nor a pair of surrogates).
QString NotificationText(QStringView text, qsizetype maxChars = 100);

// The text with a zero-width space after every character of each run of more than kWrapRun
// characters that offers a label no place to break a line (a long Latin nickname, a row of
// digits), so that a narrow label wraps it instead of cutting it off. Shorter runs, blanks and
// ideographs, where a line may break anyway, are left as they are.
inline constexpr qsizetype kWrapRun = 8;
QString Wrappable(QStringView text);

// A text whose lines are separated by CR LF (a profile as FormatProfileText lays it out): each
// line made safe with SafeLine, the lines joined with LF, as a label breaks them.
QString SafeLines(QStringView text);

// The record with every text field made safe with SafeLine (GBK in, GBK out; a field that grows
// is cut at a whole character), so that its formatted profile keeps exactly its six lines.
UserProfile SafeProfile(UserProfile profile);

} // namespace vessaro
