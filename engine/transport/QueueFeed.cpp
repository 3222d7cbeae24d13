#include "QueueFeed.h"

#include "ClientTransport.h"
#include "Messages.h"

#include <cstring>

namespace vessaro {

int ForwardServerDatagram(CMsgQueue& queue, uint8_t* buffer, int length, const char* address,
                          uint16_t port) {
    if (length <= 0)
        return 0;
    if (DatagramView(buffer, length).type() == MSG_TIMER)
        return 0;
    // The header's address field holds 15 characters and a NUL: every IPv4 text fits. An IPv6
    // text that does not fit is stamped empty rather than cut into a wrong address.
    bool fits = address && std::strlen(address) < offsets::kSenderAddressSize;
    StampSender(buffer, fits ? address : "", port);
    return queue.Send(buffer, length);
}

int OnServerDatagram(uint8_t* buffer, int length, const char* address, uint16_t port) {
    if (!AcceptsSender(address, port))
        return 0;
    return ForwardServerDatagram(CMsgQueue::Instance(), buffer, length, address, port);
}

int PutTimerTick(CMsgQueue& queue, uint32_t tag) {
    auto tick = BuildTimerTick(tag);
    return queue.Send(tick.data(), static_cast<int>(tick.size()));
}

} // namespace vessaro
