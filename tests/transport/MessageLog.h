#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Collects messages handed on by a receive thread or a processing thread, for a test to wait on.
class MessageLog {
public:
    void Add(const uint8_t* message, std::size_t length) {
        {
            std::lock_guard lock(mutex_);
            messages_.emplace_back(message, message + length);
        }
        changed_.notify_all();
    }

    bool WaitForCount(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= n; });
    }

    std::vector<Bytes> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return messages_.size();
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> messages_;
};
