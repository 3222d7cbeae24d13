#include "ForkedWorker.h"

#include "Placement.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vessaro::bench {

bool WorkerChannel::StopAsked(int timeoutMs) const {
    pollfd p{fromParent_, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0; // only the end of the pipe ever makes it readable
}

void WorkerChannel::Write(const void* data, std::size_t size) const {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(toParent_, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the parent is gone
        bytes += n;
        size -= std::size_t(n);
    }
}

ForkedWorker::ForkedWorker(const std::vector<int>& cpus,
                           const std::function<int(WorkerChannel&)>& body) {
    int up[2], down[2];
    if (pipe2(up, O_CLOEXEC) != 0)
        return;
    if (pipe2(down, O_CLOEXEC) != 0) {
        close(up[0]);
        close(up[1]);
        return;
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives an aborted benchmark
        if (getppid() != parent)
            _exit(1);
        close(up[0]);
        close(down[1]);
        PinThread(cpus);
        WorkerChannel channel(up[1], down[0]);
        _exit(body(channel));
    }
    close(up[1]);
    close(down[0]);
    fromChild_ = up[0];
    toChild_ = down[1];
    if (pid_ < 0) {
        close(fromChild_);
        close(toChild_);
        fromChild_ = toChild_ = -1;
    }
}

ForkedWorker::~ForkedWorker() {
    Stop();
}

bool ForkedWorker::Read(void* data, std::size_t size, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char* bytes = static_cast<char*>(data);
    while (size > 0 && fromChild_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fromChild_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0)
            return false;
        ssize_t n = read(fromChild_, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= std::size_t(n);
    }
    return size == 0;
}

int ForkedWorker::Stop() {
    if (pid_ <= 0)
        return exitCode_;
    close(toChild_);
    close(fromChild_);
    toChild_ = fromChild_ = -1;
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 200 && !ended; ++i) {
        ended = waitpid(pid_, &status, WNOHANG) == pid_;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return exitCode_;
}

} // namespace vessaro::bench
