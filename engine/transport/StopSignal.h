#pragma once

#include <atomic>

namespace vessaro {

// Tells a thread that blocks on a socket to end: raising it wakes every WaitReadable on it at once,
// so the thread needs no time-out and does not poll while idle.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();

    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise();
    bool Raised() const { return raised_.load(); }

    // Blocks until the socket has something to read (true) or the signal is raised (false).
    bool WaitReadable(int socket) const;

private:
    std::atomic<bool> raised_{false};
    int eventFd_;
};

} // namespace vessaro
