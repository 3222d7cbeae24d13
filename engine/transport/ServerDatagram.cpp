#include "ServerDatagram.h"

#include "Messages.h"

#include <cstring>

namespace vessaro {

bool PrepareServerDatagram(uint8_t* buffer, int length, const char* address, uint16_t port) {
    if (length <= 0)
        return false;
    if (DatagramView(buffer, length).type() == MSG_TIMER)
        return false;
    // The header's address field holds 15 characters and a NUL: every IPv4 text fits. An IPv6
    // text that does not fit is stamped empty rather than cut into a wrong address.
    bool fits = address && std::strlen(address) < offsets::kSenderAddressSize;
    StampSender(buffer, fits ? address : "", port);
    return true;
}

} // namespace vessaro
