#include "ManualTimerService.h"

#include <algorithm>
#include <utility>

namespace vessaro {

ManualTimerService::ManualTimerService() : clock_(ownClock_) {}

ManualTimerService::ManualTimerService(ManualClock& clock) : clock_(clock) {}

TimerHandle ManualTimerService::Set(uint32_t dueMs, uint32_t tag, TimerCallback callback) {
    std::lock_guard lock(mutex_);
    TimerHandle handle = nextHandle_++;
    armed_.push_back(Entry{handle, tag, dueMs, now_ + dueMs, std::move(callback)});
    ++setCount_;
    return handle;
}

bool ManualTimerService::Kill(TimerHandle handle) {
    std::lock_guard lock(mutex_);
    return std::erase_if(armed_, [handle](const Entry& e) { return e.handle == handle; }) > 0;
}

// Entries are few (an engine keeps one armed), so a linear search beats keeping a heap in order.
std::vector<ManualTimerService::Entry>::const_iterator ManualTimerService::Earliest() const {
    return std::min_element(armed_.begin(), armed_.end(), [](const Entry& a, const Entry& b) {
        return a.dueAt != b.dueAt ? a.dueAt < b.dueAt : a.handle < b.handle;
    });
}

// Removes the earliest timer due by `until` and moves time (and the clock) to its due time.
std::optional<ManualTimerService::Entry> ManualTimerService::TakeDue(uint64_t until) {
    std::lock_guard lock(mutex_);
    auto earliest = Earliest();
    if (earliest == armed_.end() || earliest->dueAt > until)
        return std::nullopt;
    Entry due = std::move(armed_[earliest - armed_.begin()]);
    armed_.erase(earliest);
    clock_.Advance(static_cast<uint32_t>(due.dueAt - now_));
    now_ = due.dueAt;
    ++firedCount_;
    return due;
}

std::size_t ManualTimerService::FireUntil(uint64_t until) {
    std::size_t fired = 0;
    while (auto due = TakeDue(until)) {
        if (due->callback)
            due->callback(due->tag);
        ++fired;
    }
    return fired;
}

std::size_t ManualTimerService::Advance(uint32_t ms) {
    uint64_t until;
    {
        std::lock_guard lock(mutex_);
        until = now_ + ms;
    }
    std::size_t fired = FireUntil(until);
    std::lock_guard lock(mutex_);
    clock_.Advance(static_cast<uint32_t>(until - now_));
    now_ = until;
    return fired;
}

bool ManualTimerService::FireNext() {
    uint64_t dueAt;
    {
        std::lock_guard lock(mutex_);
        auto earliest = Earliest();
        if (earliest == armed_.end())
            return false;
        dueAt = earliest->dueAt;
    }
    FireUntil(dueAt);
    return true;
}

std::size_t ManualTimerService::RunUntilIdle(std::size_t maxFirings) {
    std::size_t fired = 0;
    while (fired < maxFirings) {
        std::optional<Entry> due = TakeDue(UINT64_MAX);
        if (!due)
            break;
        if (due->callback)
            due->callback(due->tag);
        ++fired;
    }
    return fired;
}

ArmedTimer ManualTimerService::Describe(const Entry& e) const {
    uint32_t remaining = static_cast<uint32_t>(e.dueAt - now_);
    return ArmedTimer{e.handle, e.tag, e.dueMs, clock_.TickCount() + remaining, remaining};
}

std::size_t ManualTimerService::ArmedCount() const {
    std::lock_guard lock(mutex_);
    return armed_.size();
}

bool ManualTimerService::IsArmed(TimerHandle handle) const {
    std::lock_guard lock(mutex_);
    return std::any_of(armed_.begin(), armed_.end(),
                       [handle](const Entry& e) { return e.handle == handle; });
}

std::optional<ArmedTimer> ManualTimerService::Next() const {
    std::lock_guard lock(mutex_);
    auto earliest = Earliest();
    if (earliest == armed_.end())
        return std::nullopt;
    return Describe(*earliest);
}

std::vector<ArmedTimer> ManualTimerService::Armed() const {
    std::lock_guard lock(mutex_);
    std::vector<ArmedTimer> all;
    for (const Entry& e : armed_)
        all.push_back(Describe(e));
    std::sort(all.begin(), all.end(), [](const ArmedTimer& a, const ArmedTimer& b) {
        return a.remainingMs != b.remainingMs ? a.remainingMs < b.remainingMs : a.handle < b.handle;
    });
    return all;
}

std::size_t ManualTimerService::SetCount() const {
    std::lock_guard lock(mutex_);
    return setCount_;
}

std::size_t ManualTimerService::FiredCount() const {
    std::lock_guard lock(mutex_);
    return firedCount_;
}

uint64_t ManualTimerService::Elapsed() const {
    std::lock_guard lock(mutex_);
    return now_;
}

} // namespace vessaro
