#include "DispatchGate.h"

#include "Console.h"
#include "Datagram.h"
#include "Messages.h"

namespace vessaro {
namespace {

// The gate whose handler this thread is running, so that a Close from the handler does not wait
// for the lock it already holds.
thread_local const DispatchGate* delivering = nullptr;

} // namespace

bool DispatchGate::Deliver(uint8_t* message, std::size_t length) {
    if (length == 0 || delivering == this)
        return false;
    std::lock_guard lock(mutex_);
    if (!open_)
        return false;
    DatagramView view(message, length);
    ConsoleLine("MsgProcThread: got a msg, protocol = %d, type = %d\n", view.protocol(),
                view.type());
    if (!SanitizeReceived(message, length) || !handler_)
        return false;
    delivering = this;
    handler_(message, length);
    delivering = nullptr;
    return true;
}

void DispatchGate::Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
}

void DispatchGate::Close() {
    if (delivering == this) {
        open_ = false; // the lock is held by this very thread, in Deliver
        return;
    }
    std::lock_guard lock(mutex_);
    open_ = false;
}

} // namespace vessaro
