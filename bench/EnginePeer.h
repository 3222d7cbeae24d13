#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vessaro::bench {

// One real client engine (the process-wide one) in a process of its own, driven like the chat
// window drives it: connect, ask for the partner of the pair, accept, then either post texts one
// after another and time each from ClientPostText to its EVT_TEXT_CONFIRMED, or answer texts until
// the partner hangs up.
struct EnginePeerOptions {
    uint16_t serverPort = 0;
    int pair = 0;
    bool sender = false;
    std::size_t texts = 1000;
    // The sender writes "median p99 count failures cpu texts switches" here: the spread of the
    // timed texts in microseconds, then the process's CPU time in nanoseconds over all the texts it
    // sent (warm-up included), how many that was, and how many times its threads were switched out
    // meanwhile. The partner writes "cpu switches" of its own process over the conversation to the
    // same name with ".echo" appended.
    std::string resultFile;
};

// The peer's exit code: 0 when it did its part.
int RunEnginePeer(const EnginePeerOptions& options);

// What the threads of this process (the ended ones included) have used so far: CPU time in
// nanoseconds and the number of times one was switched out (waiting or pre-empted).
struct ProcessUsageSoFar {
    double cpuNanos = 0;
    double switches = 0;
};
ProcessUsageSoFar OwnUsage();

} // namespace vessaro::bench
