#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vessaro::test {

// A program started by a test, with its standard input and output on pipes and its standard
// error passed through (or discarded). Killed at destruction if it still runs.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 bool keepStderr = true);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() const { return pid_ > 0; }
    int pid() const { return pid_; }

    void WriteLine(const std::string& line);
    void CloseInput();

    // The next line of its standard output, or nothing when none comes in time or output ended.
    std::optional<std::string>
    ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads lines until one contains the text; every line read is kept in lines().
    std::optional<std::string>
    WaitFor(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    const std::vector<std::string>& lines() const { return lines_; }

    void Signal(int signal);
    // The exit code (128 + signal when killed by one), or nothing if it did not end in time.
    std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    int pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
    std::optional<int> exitCode_;
};

} // namespace vessaro::test
