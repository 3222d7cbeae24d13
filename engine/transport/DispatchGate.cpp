#include "DispatchGate.h"

#include "Console.h"
#include "Datagram.h"
#include "Messages.h"

namespace vessaro {
namespace {

// The gate whose handler this thread is running, so that a Close from the handler does not wait
// for the lock it already holds.
thread_local const DispatchGate* delivering = nullptr;

// What AfterDispatch put off on this thread while a message was handed on, in the order given.
thread_local std::vector<std::function<void()>> putOff;

void RunPutOff() {
    // A task may itself hand a message on, which puts off and runs tasks of its own.
    std::vector<std::function<void()>> tasks;
    tasks.swap(putOff);
    for (std::function<void()>& task : tasks)
        task();
}

} // namespace

void AfterDispatch(std::function<void()> task) {
    if (!task)
        return;
    if (delivering)
        putOff.push_back(std::move(task));
    else
        task();
}

bool DispatchGate::Deliver(uint8_t* message, std::size_t length) {
    if (length == 0 || delivering == this)
        return false;
    bool handed = HandOn(message, length);
    if (!delivering && !putOff.empty())
        RunPutOff();
    return handed;
}

bool DispatchGate::HandOn(uint8_t* message, std::size_t length) {
    std::lock_guard lock(mutex_);
    if (!open_)
        return false;
    DatagramView view(message, length);
    ConsoleLine("MsgProcThread: got a msg, protocol = %d, type = %d\n", view.protocol(),
                view.type());
    if (!SanitizeReceived(message, length) || !handler_)
        return false;
    const DispatchGate* outer = delivering;
    delivering = this;
    handler_(message, length);
    delivering = outer;
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
