#include "ThreadTimerService.h"

#include <algorithm>
#include <atomic>
#include <pthread.h>
#include <utility>

namespace vessaro {
namespace {

std::atomic<TimerHandle> nextHandle{1};

// The service whose thread this is, so that Stop or Start from a callback does not wait for itself.
thread_local const ThreadTimerService* ownService = nullptr;

struct LaterFirst {
    template <typename D>
    bool operator()(const D& a, const D& b) const {
        return a.when != b.when ? a.when > b.when : a.handle > b.handle;
    }
};

} // namespace

ThreadTimerService::ThreadTimerService() {
    Start();
}

ThreadTimerService::~ThreadTimerService() {
    Stop();
}

void ThreadTimerService::Start() {
    if (ownService == this) {
        // Stopped and started again from one of our callbacks: the same thread carries on.
        std::lock_guard lock(mutex_);
        running_ = true;
        stopping_ = false;
        return;
    }
    std::lock_guard joinLock(joinMutex_);
    std::unique_lock lock(mutex_);
    if (running_)
        return;
    if (thread_.joinable()) {
        // The old thread has been told to stop; it needs the lock to see that and end.
        lock.unlock();
        thread_.join();
        lock.lock();
    }
    running_ = true;
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
}

void ThreadTimerService::Stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        stopping_ = true;
        armed_.clear();
        heap_.clear();
    }
    wake_.notify_all();
    JoinUnlessSelf();
}

void ThreadTimerService::JoinUnlessSelf() {
    if (ownService == this)
        return;
    std::lock_guard joinLock(joinMutex_);
    if (thread_.joinable())
        thread_.join();
}

bool ThreadTimerService::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::size_t ThreadTimerService::ArmedCount() const {
    std::lock_guard lock(mutex_);
    return armed_.size();
}

TimerHandle ThreadTimerService::Set(uint32_t dueMs, uint32_t tag, TimerCallback callback) {
    TimePoint when = std::chrono::steady_clock::now() + std::chrono::milliseconds(dueMs);
    TimerHandle handle;
    bool sooner;
    {
        std::lock_guard lock(mutex_);
        if (!running_)
            return 0;
        handle = nextHandle.fetch_add(1);
        armed_.emplace(handle, Armed{tag, std::move(callback)});
        heap_.push_back(Due{when, handle});
        std::push_heap(heap_.begin(), heap_.end(), LaterFirst{});
        // The thread needs waking only when it sleeps past the new deadline. While it is awake it
        // looks at the heap before it sleeps again. Once woken it sleeps at the latest until this
        // deadline, so later ones need no second wake-up meanwhile.
        sooner = when < sleepsUntil_;
        if (sooner)
            sleepsUntil_ = when;
    }
    if (sooner) {
        ++wakes_;
        wake_.notify_all();
    }
    return handle;
}

bool ThreadTimerService::Kill(TimerHandle handle) {
    std::lock_guard lock(mutex_);
    bool wasArmed = armed_.erase(handle) > 0;
    if (wasArmed)
        CompactIfMostlyCancelled();
    return wasArmed;
}

void ThreadTimerService::DropCancelledFromTop() {
    while (!heap_.empty() && !armed_.contains(heap_.front().handle)) {
        std::pop_heap(heap_.begin(), heap_.end(), LaterFirst{});
        heap_.pop_back();
    }
}

// Killed timers stay in the heap until they come to the top; rebuild it when they outnumber the
// live ones so that a long wait killed over and over does not grow it without bound.
void ThreadTimerService::CompactIfMostlyCancelled() {
    if (heap_.size() < 64 || heap_.size() < 2 * armed_.size())
        return;
    std::erase_if(heap_, [this](const Due& d) { return !armed_.contains(d.handle); });
    std::make_heap(heap_.begin(), heap_.end(), LaterFirst{});
}

// The thread sleeps until the earliest deadline in the heap, killed timers included: a timer armed
// and killed again before that deadline, as the wait for each acknowledged text is, then costs no
// wake-up at all. Killed timers are cleared from the top only when the thread wakes for a deadline,
// so it sleeps next until a live one.
void ThreadTimerService::Run() {
    ownService = this;
    pthread_setname_np(pthread_self(), "TimerThread"); // as ps and debuggers show it
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (heap_.empty()) {
            SleepUntil(lock, TimePoint::max());
            continue;
        }
        Due next = heap_.front();
        if (std::chrono::steady_clock::now() < next.when) {
            SleepUntil(lock, next.when);
            continue;
        }
        std::pop_heap(heap_.begin(), heap_.end(), LaterFirst{});
        heap_.pop_back();
        auto found = armed_.find(next.handle);
        if (found != armed_.end()) {
            Armed fired = std::move(found->second);
            armed_.erase(found);
            lock.unlock();
            if (fired.callback)
                fired.callback(fired.tag);
            lock.lock();
        }
        DropCancelledFromTop();
    }
}

void ThreadTimerService::SleepUntil(std::unique_lock<std::mutex>& lock, TimePoint when) {
    sleepsUntil_ = when;
    if (when == TimePoint::max())
        wake_.wait(lock);
    else
        wake_.wait_until(lock, when);
    sleepsUntil_ = TimePoint::min();
}

bool ThreadTimerService::Sleeping() const {
    std::lock_guard lock(mutex_);
    return sleepsUntil_ != TimePoint::min();
}

std::size_t ThreadTimerService::Wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
}

} // namespace vessaro
