#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vessaro {

// The one point of serialisation between the client's receiving threads and the engine: the
// receive thread hands each server datagram, and the timer thread each tick, straight to the
// dispatcher through here, so nothing is copied into a queue and no further thread is woken. The
// gate lets one message at a time through, prints its console line, makes it safe
// (SanitizeReceived; a message too short for its type is dropped there) and calls the handler with
// its lock held. The gate starts closed.
class DispatchGate {
public:
    using Handler = std::function<void(const uint8_t* message, std::size_t length)>;

    explicit DispatchGate(Handler handler) : handler_(std::move(handler)) {}

    DispatchGate(const DispatchGate&) = delete;
    DispatchGate& operator=(const DispatchGate&) = delete;

    // Hands the message on unless the gate is closed; waits while another message is handed on.
    // The message is made safe in place. True when the handler was called.
    bool Deliver(uint8_t* message, std::size_t length);

    void Open();
    // After Close returns no handler call is under way and none begins, but for the call that
    // made the Close itself (it does not wait for itself). Safe more than once.
    void Close();

private:
    bool HandOn(uint8_t* message, std::size_t length);

    std::mutex mutex_;
    bool open_ = false;
    Handler handler_;
};

// Runs the task once the message being handed on by this thread has been handled and every lock
// taken for it (the gate's, the engine's) is free again; outside a hand-off, at once. Tasks run in
// the order given, on this thread. An event callback that wakes another thread wakes it through
// here, so that the woken thread does not run straight into the engine's lock still held and
// bounce back.
void AfterDispatch(std::function<void()> task);

} // namespace vessaro
