#include "MsgProcThread.h"

#include "Console.h"
#include "Datagram.h"
#include "Messages.h"

#include <array>
#include <chrono>
#include <utility>

namespace vessaro {
namespace {

// The processing thread that is running here, so that a stop from the handler does not wait for
// itself.
thread_local const MsgProcThread* ownThread = nullptr;

} // namespace

MsgProcThread::MsgProcThread(CMsgQueue& queue, Handler handler)
    : queue_(queue), handler_(std::move(handler)), thread_([this] { Run(); }) {}

MsgProcThread::~MsgProcThread() {
    Stop();
}

void MsgProcThread::Stop() {
    stop_.Raise();
    if (ownThread == this)
        return;
    std::lock_guard lock(joinMutex_);
    if (thread_.joinable())
        thread_.join();
}

void MsgProcThread::Run() {
    ownThread = this;
    std::array<uint8_t, kMaxDatagramSize> buffer;
    while (stop_.WaitReadable(queue_.ReceiveSocket())) {
        int length = queue_.Recv(buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (stop_.Raised())
            break;
        std::size_t size = static_cast<std::size_t>(length);
        DatagramView view(buffer.data(), size);
        ConsoleLine("MsgProcThread: got a msg, protocol = %d, type = %d\n", view.protocol(),
                    view.type());
        if (SanitizeReceived(buffer.data(), size) && handler_)
            handler_(buffer.data(), size);
    }
}

} // namespace vessaro
