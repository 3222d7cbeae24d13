#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Records timer firings from any thread and lets a test wait for them without fixed sleeps.
class FiredLog {
public:
    struct Firing {
        uint32_t tag;
        std::thread::id thread;
    };

    void Add(uint32_t tag) {
        // Notified under the lock: a test may destroy the log as soon as it sees the firing.
        std::lock_guard lock(mutex_);
        firings_.push_back({tag, std::this_thread::get_id()});
        changed_.notify_all();
    }

    // True once at least n firings are in; false after the (generous) time-out.
    bool WaitForCount(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return firings_.size() >= n; });
    }

    // True once a firing with this tag is in; false after the time-out.
    bool WaitForTag(uint32_t tag, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            for (const Firing& f : firings_)
                if (f.tag == tag)
                    return true;
            return false;
        });
    }

    std::vector<uint32_t> Tags() const {
        std::lock_guard lock(mutex_);
        std::vector<uint32_t> tags;
        for (const Firing& f : firings_)
            tags.push_back(f.tag);
        return tags;
    }

    std::vector<Firing> Firings() const {
        std::lock_guard lock(mutex_);
        return firings_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Firing> firings_;
};
