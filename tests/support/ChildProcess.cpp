#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vessaro::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           bool keepStderr) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        // A test that aborts leaves no process behind; the child goes with the thread that started
        // it, which for tests is the main one.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        if (!keepStderr) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    signal(SIGPIPE, SIG_IGN);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exitCode_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (input_ >= 0)
        close(input_);
    if (output_ >= 0)
        close(output_);
}

void ChildProcess::WriteLine(const std::string& line) {
    std::string data = line + "\n";
    [[maybe_unused]] ssize_t n = write(input_, data.data(), data.size());
}

void ChildProcess::CloseInput() {
    if (input_ >= 0)
        close(input_);
    input_ = -1;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            lines_.push_back(line);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || output_ < 0)
            return std::nullopt;
        pollfd p{output_, POLLIN, 0};
        if (poll(&p, 1, int(left.count())) <= 0)
            continue;
        char chunk[4096];
        ssize_t n = read(output_, chunk, sizeof chunk);
        if (n <= 0) {
            close(output_);
            output_ = -1;
            return std::nullopt;
        }
        pending_.append(chunk, std::size_t(n));
    }
}

std::optional<std::string> ChildProcess::WaitFor(const std::string& text,
                                                 std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        auto line = ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()));
        if (!line)
            return std::nullopt;
        if (line->find(text) != std::string::npos)
            return line;
    }
    return std::nullopt;
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && !exitCode_)
        kill(pid_, signal);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (exitCode_)
        return exitCode_;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

} // namespace vessaro::test
