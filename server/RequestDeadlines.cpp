#include "RequestDeadlines.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {

RequestDeadlines::~RequestDeadlines() {
    Stop();
    for (auto& [key, entry] : entries_)
        close(entry.fd);
}

bool RequestDeadlines::Add(const void* key, int fd, Clock::time_point now) {
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        shutdown(fd, SHUT_RDWR);
        return false;
    }
    std::lock_guard lock(mutex_);
    auto [it, added] = entries_.try_emplace(key, Entry{copy, now, false});
    if (!added) { // a key is reused only after Remove; keep the table right if it is not
        close(it->second.fd);
        it->second = Entry{copy, now, false};
    }
    return true;
}

void RequestDeadlines::Restart(const void* key, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it != entries_.end() && !it->second.cut)
        it->second.started = now;
}

void RequestDeadlines::Remove(const void* key) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end())
        return;
    close(it->second.fd);
    entries_.erase(it);
}

std::size_t RequestDeadlines::Sweep(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    std::size_t cut = 0;
    for (auto& [key, entry] : entries_) {
        if (entry.cut || now - entry.started < limit_)
            continue;
        shutdown(entry.fd, SHUT_RDWR);
        entry.cut = true;
        ++cut;
    }
    return cut;
}

std::size_t RequestDeadlines::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void RequestDeadlines::StartSweeping(std::chrono::milliseconds interval) {
    sweeper_ = std::thread([this, interval] {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            wake_.wait_for(lock, interval);
            if (stopping_)
                break;
            lock.unlock();
            Sweep(Clock::now());
            lock.lock();
        }
    });
}

void RequestDeadlines::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (sweeper_.joinable())
        sweeper_.join();
}

} // namespace vessaro
