#pragma once

#include "EngineEvents.h"

#include <deque>
#include <mutex>
#include <utility>

namespace vessaro::cli {

// Events handed over by the engine's thread, waiting for the main loop. The engine calls Push with
// its lock held, so Push only queues and wakes the loop (an eventfd it can poll).
class EventInbox {
public:
    EventInbox();
    ~EventInbox();
    EventInbox(const EventInbox&) = delete;
    EventInbox& operator=(const EventInbox&) = delete;

    void Push(int32_t code, EventBlock block);
    std::deque<std::pair<int32_t, EventBlock>> TakeAll();
    int fd() const { return fd_; }

private:
    int fd_;
    std::mutex mutex_;
    std::deque<std::pair<int32_t, EventBlock>> events_;
};

} // namespace vessaro::cli
