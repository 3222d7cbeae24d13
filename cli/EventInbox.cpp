#include "EventInbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace vessaro::cli {

EventInbox::EventInbox() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

EventInbox::~EventInbox() {
    if (fd_ >= 0)
        close(fd_);
}

void EventInbox::Push(int32_t code, EventBlock block) {
    {
        std::lock_guard lock(mutex_);
        events_.emplace_back(code, std::move(block));
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

std::deque<std::pair<int32_t, EventBlock>> EventInbox::TakeAll() {
    uint64_t count;
    [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

} // namespace vessaro::cli
