#pragma once

#include "EngineEvents.h"

#include <QEvent>

namespace vessaro {

// An engine event on its way to a window: posted (never sent) from the engine's thread, handled
// on the user interface thread in the order posted. The event owns its block, so the block is
// freed with the event whether or not a window uses it.
class EngineEventMessage : public QEvent {
public:
    EngineEventMessage(int32_t code, EventBlock block)
        : QEvent(Type()), code_(code), block_(std::move(block)) {}

    static QEvent::Type Type() {
        static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    int32_t code() const { return code_; }
    const EventBlock& block() const { return block_; }

private:
    int32_t code_;
    EventBlock block_;
};

} // namespace vessaro
