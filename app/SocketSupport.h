#pragma once

namespace vessaro {

// Whether this machine lets the program open a UDP socket, which everything it does needs.
bool UdpSocketsAvailable();

} // namespace vessaro
