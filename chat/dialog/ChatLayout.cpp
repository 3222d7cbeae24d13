#include "ChatLayout.h"

#include <QMenuBar>
#include <QWidget>

#include <algorithm>

namespace vessaro {

void ChatLayout::Capture(QWidget* window, QWidget* transcript, QWidget* input) {
    places_.clear();
    built_ = window->size();
    const QRect text = transcript->geometry();
    const QRect box = input->geometry();
    inputRect_ = box;
    for (QObject* object : window->children()) {
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget || widget->isWindow())
            continue;
        const QRect rect = widget->geometry();
        Anchor anchor;
        if (widget == transcript)
            anchor = Anchor::Transcript;
        else if (widget == input)
            anchor = Anchor::Input;
        else if (qobject_cast<QMenuBar*>(widget))
            anchor = Anchor::Bar;
        else if (rect.left() >= text.right())
            anchor = rect.top() >= box.top() ? Anchor::RightBottom : Anchor::RightTop;
        else if (rect.center().x() > box.center().x())
            anchor = Anchor::BelowRight; // under the transcript, right of the middle
        else
            anchor = Anchor::BelowLeft;
        places_.append({widget, rect, anchor});
    }
}

void ChatLayout::Apply(QSize size) const {
    const int dx = std::max(0, size.width() - built_.width());
    const int dy = std::max(0, size.height() - built_.height());
    const int inputGrows = dy / kInputShareDivisor;
    const int transcriptGrows = dy - inputGrows;
    for (const Place& place : places_) {
        if (!place.widget)
            continue;
        QRect r = place.rect;
        switch (place.anchor) {
        case Anchor::Transcript:
            r.setSize(r.size() + QSize(dx, transcriptGrows));
            break;
        case Anchor::Input:
            r.translate(0, transcriptGrows);
            r.setSize(r.size() + QSize(dx, inputGrows));
            break;
        case Anchor::RightTop:
            r.translate(dx, 0);
            break;
        case Anchor::RightBottom:
            r.translate(dx, dy);
            break;
        case Anchor::BelowLeft:
        case Anchor::BelowRight: {
            // Under the input box: down to the bottom with it; between transcript and box: with
            // the top of the box.
            const int down = r.top() >= inputRect_.bottom() ? dy : transcriptGrows;
            r.translate(place.anchor == Anchor::BelowRight ? dx : 0, down);
            break;
        }
        case Anchor::Bar:
            r.setWidth(size.width());
            break;
        }
        place.widget->setGeometry(r);
    }
}

} // namespace vessaro
