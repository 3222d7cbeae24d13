#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vessaro {

// An event that releases one wait per signal: a successful wait clears it again. A signal given
// while nobody waits is kept until the next wait or Reset.
class AutoResetEvent {
public:
    void Signal();
    void Reset();
    // True when the event was signalled within the timeout (and is now cleared).
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    bool set_ = false;
};

} // namespace vessaro
