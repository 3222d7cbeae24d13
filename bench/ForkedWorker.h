#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace vessaro::bench {

// The child's end of its pipes to the parent.
class WorkerChannel {
public:
    WorkerChannel(int toParent, int fromParent) : toParent_(toParent), fromParent_(fromParent) {}
    // Sends a plain value to the parent.
    template <typename T>
    void Tell(const T& value) const {
        Write(&value, sizeof value);
    }
    // Whether the parent asked it to end (closed its end), waiting up to timeoutMs.
    bool StopAsked(int timeoutMs = 0) const;

private:
    void Write(const void* data, std::size_t size) const;
    int toParent_;
    int fromParent_;
};

// A forked copy of this process (no exec: it starts with the parent's state, its sockets
// included) that runs body on the given CPUs and exits. The parent must have no other threads
// when it forks. Ended with the object: asked through the pipe, killed if it does not go.
class ForkedWorker {
public:
    ForkedWorker(const std::vector<int>& cpus, const std::function<int(WorkerChannel&)>& body);
    ~ForkedWorker();
    ForkedWorker(const ForkedWorker&) = delete;
    ForkedWorker& operator=(const ForkedWorker&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    // Reads one value the child told; false when it ended or stayed silent for the time-out.
    template <typename T>
    bool Hear(T& value, std::chrono::milliseconds timeout) {
        return Read(&value, sizeof value, timeout);
    }
    // Asks it to end and waits up to two seconds before killing it; its exit code.
    int Stop();

private:
    bool Read(void* data, std::size_t size, std::chrono::milliseconds timeout);
    int pid_ = -1;
    int fromChild_ = -1;
    int toChild_ = -1;
    int exitCode_ = -1;
};

} // namespace vessaro::bench
