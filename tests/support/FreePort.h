#pragma once

#include <cstdint>
#include <sys/socket.h>

namespace vessaro::test {

// A port on 127.0.0.1 that was free a moment ago, found by binding port 0: for a server a test
// starts on its own port. socketType is SOCK_DGRAM or SOCK_STREAM; 0 when no port could be had.
uint16_t FreePort(int socketType);

} // namespace vessaro::test
