#include "StopSignal.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vessaro {

StopSignal::StopSignal() : eventFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
    if (eventFd_ >= 0)
        close(eventFd_);
}

void StopSignal::Raise() {
    raised_.store(true);
    if (eventFd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(eventFd_, &one, sizeof one);
    }
}

bool StopSignal::WaitReadable(int socket) const {
    // Without an eventfd (the system refused one) a raise is noticed within a tenth of a second.
    const int timeoutMs = eventFd_ >= 0 ? -1 : 100;
    pollfd fds[2] = {{socket, POLLIN, 0}, {eventFd_, POLLIN, 0}};
    while (!Raised()) {
        int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR)
            return !Raised();
        if (fds[1].revents != 0)
            return false;
        // A closed or failed socket is readable too: the receive then fails and the caller
        // sleeps before it tries again.
        if (fds[0].revents != 0)
            return true;
    }
    return false;
}

} // namespace vessaro
