#pragma once

#include "ManualClock.h"
#include "TimerService.h"

#include <cstddef>
#include <mutex>
#include <optional>
#include <vector>

namespace vessaro {

// What a test can see of one armed timer.
struct ArmedTimer {
    TimerHandle handle;
    uint32_t tag;
    uint32_t dueMs;       // the delay it was armed with
    uint32_t dueTick;     // the clock's count at which it fires
    uint32_t remainingMs; // from the current time
};

// Timers on a manual clock: time moves only through Advance, FireNext or RunUntilIdle, and due
// timers fire on the caller's thread, in due order (ties in the order they were armed), with the
// clock showing each one's due time. A callback may arm and kill timers; one armed during an
// Advance fires within it when it falls due before the Advance ends. Handles count up from 1.
class ManualTimerService final : public TimerService {
public:
    ManualTimerService(); // on a clock of its own, starting at 0
    explicit ManualTimerService(ManualClock& clock);

    TimerHandle Set(uint32_t dueMs, uint32_t tag, TimerCallback callback) override;
    bool Kill(TimerHandle handle) override;

    // Moves time forward by ms, firing what falls due on the way. Returns how many fired.
    std::size_t Advance(uint32_t ms);
    // Moves time to the earliest armed timer and fires it. False when nothing is armed.
    bool FireNext();
    // Fires timers one after another until none is armed or maxFirings is reached. Returns how
    // many fired.
    std::size_t RunUntilIdle(std::size_t maxFirings = 1000);

    std::size_t ArmedCount() const;
    bool IsArmed(TimerHandle handle) const;
    // The timer that fires next, if any.
    std::optional<ArmedTimer> Next() const;
    // Every armed timer, in the order they will fire.
    std::vector<ArmedTimer> Armed() const;

    // Totals since construction, for tests that count retries.
    std::size_t SetCount() const;
    std::size_t FiredCount() const;

    ManualClock& clock() { return clock_; }
    // Milliseconds since the service was made, without wrapping.
    uint64_t Elapsed() const;

private:
    struct Entry {
        TimerHandle handle;
        uint32_t tag;
        uint32_t dueMs;
        uint64_t dueAt; // in Elapsed() terms
        TimerCallback callback;
    };

    std::optional<Entry> TakeDue(uint64_t until);
    std::size_t FireUntil(uint64_t until);
    std::vector<Entry>::const_iterator Earliest() const;
    ArmedTimer Describe(const Entry& entry) const;

    ManualClock ownClock_;
    ManualClock& clock_;
    mutable std::mutex mutex_; // never held while a callback runs
    std::vector<Entry> armed_;
    uint64_t now_ = 0;
    TimerHandle nextHandle_ = 1;
    std::size_t setCount_ = 0;
    std::size_t firedCount_ = 0;
};

} // namespace vessaro
