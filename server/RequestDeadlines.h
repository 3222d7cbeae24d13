#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace vessaro {

// Cuts off HTTP connections whose request has taken longer than a limit, however steadily its bytes
// trickle in (an idle time-out never fires for a client that sends one byte a second). Each
// connection is known by a key of the caller's (its connection object) and a duplicate of its
// socket: shutting that down ends the connection for its owner, and because the duplicate is ours
// it can never name a socket that someone else has opened since.
class RequestDeadlines {
public:
    using Clock = std::chrono::steady_clock;

    explicit RequestDeadlines(std::chrono::milliseconds limit) : limit_(limit) {}
    ~RequestDeadlines();
    RequestDeadlines(const RequestDeadlines&) = delete;
    RequestDeadlines& operator=(const RequestDeadlines&) = delete;

    // A connection opened at now. False when its socket cannot be duplicated; the socket is then
    // shut down at once, since nothing could bound its time.
    bool Add(const void* key, int fd, Clock::time_point now);
    // A request on the connection was answered: the next one has its own full time.
    void Restart(const void* key, Clock::time_point now);
    // The connection is closed: forget it and close the duplicate.
    void Remove(const void* key);
    // Shuts down every connection whose time ran out by now; the number cut.
    std::size_t Sweep(Clock::time_point now);
    std::size_t size() const;

    // Sweeps on a thread of its own every interval until Stop (or destruction).
    void StartSweeping(std::chrono::milliseconds interval);
    void Stop();

private:
    struct Entry {
        int fd = -1;
        Clock::time_point started;
        bool cut = false;
    };

    const std::chrono::milliseconds limit_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::unordered_map<const void*, Entry> entries_;
    std::thread sweeper_;
};

} // namespace vessaro
