#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vessaro::bench {

// One real client engine (the process-wide one) in a process of its own, driven like the chat
// window drives it: connect, ask for the partner of the pair, accept, then either send texts and
// time ClientSendText from call to acknowledgement, or answer texts until the partner hangs up.
struct EnginePeerOptions {
    uint16_t serverPort = 0;
    int pair = 0;
    bool sender = false;
    std::size_t texts = 1000;
    std::string resultFile; // the sender writes "median p99 count failures" (microseconds) here
};

// The peer's exit code: 0 when it did its part.
int RunEnginePeer(const EnginePeerOptions& options);

} // namespace vessaro::bench
