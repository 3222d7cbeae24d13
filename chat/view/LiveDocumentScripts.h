#pragma once

#include <QString>

namespace vessaro {

// Scripts that keep a long in-memory page cheap to grow. Chromium lays out a block's children one
// by one, so a body with tens of thousands of paragraphs makes every added line cost more than the
// one before. The view therefore files the body's nodes into plain blocks of a fixed number of
// nodes each (a <div> with no style, which changes neither the layout nor the text of the page)
// and appends into the last block: adding a line then lays out one block and the list of blocks.
// Both scripts end by showing the end of the page, however tall it is.
//
// The scripts run in the view's own script world, apart from the page's scripts.

// The number of body nodes per block.
inline constexpr int kNodesPerBlock = 200;

// Files the nodes of the body of a page that has just loaded into blocks.
QString GroupBodyScript();

// Appends HTML (text, not a script's source: it travels as a string literal) at the end of the
// body, into the blocks.
QString AppendToBodyScript(const QString& html);

// Replaces the element with the id, if the document has one, by the HTML (empty: removes it).
QString ReplaceElementScript(const QString& id, const QString& html);

} // namespace vessaro
