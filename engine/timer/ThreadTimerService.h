#pragma once

#include "TimerService.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vessaro {

// One-shot timers on one thread of our own, kept in a min-heap by due time. Callbacks run on that
// thread, one at a time, without any lock of the service held, so a callback may arm or kill
// timers. Kill only takes the service's lock for a moment: it never waits for a callback that is
// already running. Handles are unique across every service in the process and never reused.
class ThreadTimerService final : public TimerService {
public:
    ThreadTimerService(); // starts the thread
    ~ThreadTimerService() override;

    ThreadTimerService(const ThreadTimerService&) = delete;
    ThreadTimerService& operator=(const ThreadTimerService&) = delete;

    // Returns 0 (never a valid handle) while the service is stopped.
    TimerHandle Set(uint32_t dueMs, uint32_t tag, TimerCallback callback) override;
    // True when the timer was armed and will now never fire.
    bool Kill(TimerHandle handle) override;

    // Starts the thread again after Stop; does nothing while it runs.
    void Start();
    // Drops every armed timer and joins the thread: no callback runs after it returns. Called from
    // a callback, it lets that callback finish and ends the thread right after it. The service
    // must not be destroyed from one of its own callbacks.
    void Stop();

    bool Running() const;
    std::size_t ArmedCount() const;
    // Whether the thread sleeps, waiting for a deadline or a first timer.
    bool Sleeping() const;
    // How many times Set woke the sleeping thread because the new timer was due before it.
    std::size_t Wakes() const;

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Due {
        TimePoint when;
        TimerHandle handle; // ties fire in the order the timers were armed
    };
    struct Armed {
        uint32_t tag;
        TimerCallback callback;
    };

    void Run();
    void SleepUntil(std::unique_lock<std::mutex>& lock, TimePoint when);
    void DropCancelledFromTop();
    void CompactIfMostlyCancelled();
    void JoinUnlessSelf();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Due> heap_; // may hold killed timers until they reach the top
    std::unordered_map<TimerHandle, Armed> armed_;
    bool running_ = false;
    bool stopping_ = false;
    // What the thread sleeps until: max while it waits for a first timer, min while it is awake.
    TimePoint sleepsUntil_ = TimePoint::min();
    std::size_t wakes_ = 0;

    std::mutex joinMutex_;
    std::thread thread_;
};

} // namespace vessaro
