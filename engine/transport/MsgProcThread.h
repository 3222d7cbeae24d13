#pragma once

#include "CMsgQueue.h"
#include "StopSignal.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vessaro {

// The processing thread: the only reader of a loopback queue. It takes one message at a time into
// a 4096-byte buffer of its own, prints its console line, makes it safe (SanitizeReceived) and
// hands it to the handler; a message too short for its type is dropped there.
class MsgProcThread {
public:
    using Handler = std::function<void(const uint8_t* message, std::size_t length)>;

    MsgProcThread(CMsgQueue& queue, Handler handler); // starts the thread
    ~MsgProcThread();                                 // Stop

    MsgProcThread(const MsgProcThread&) = delete;
    MsgProcThread& operator=(const MsgProcThread&) = delete;

    // Ends the thread and waits for it: the handler is not called after this returns (but for
    // the call under way when Stop is made from the handler itself). Safe more than once.
    void Stop();

private:
    void Run();

    CMsgQueue& queue_;
    Handler handler_;
    StopSignal stop_;
    std::mutex joinMutex_;
    std::thread thread_;
};

} // namespace vessaro
