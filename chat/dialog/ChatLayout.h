#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

namespace vessaro {

// Lays the chat window's controls out for any size at least as large as the one it was built at.
// The transcript takes the extra width and most of the extra height, the input box the rest of
// the height; the column of profile panes and the logo keeps its width at the right edge, and the
// buttons stay under the input box (those on the right side of it with its right edge).
class ChatLayout {
public:
    // Takes the places the controls have now, at the window's built size.
    void Capture(QWidget* window, QWidget* transcript, QWidget* input);
    // Places the controls for the window's size (never smaller than the built one).
    void Apply(QSize size) const;

    QSize builtSize() const { return built_; }
    bool captured() const { return !places_.isEmpty(); }

    // Share of extra height that goes to the input box; the transcript takes the rest.
    static constexpr int kInputShareDivisor = 4;

private:
    // Where a control goes when the window grows: with the transcript's or the input box's own
    // rule, in the right column (top: profile panes, bottom: the logo), under the transcript on the
    // left or right half, or the menu bar (full width).
    enum class Anchor { Transcript, Input, RightTop, RightBottom, BelowLeft, BelowRight, Bar };
    struct Place {
        QPointer<QWidget> widget;
        QRect rect;
        Anchor anchor;
    };

    QSize built_;
    QRect inputRect_;
    QList<Place> places_;
};

} // namespace vessaro
